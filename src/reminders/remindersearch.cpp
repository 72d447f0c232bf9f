#include "reminders/remindersearch.h"

#include "reminders/form3.h"
#include "reminders/remindernotifier.h"
#include "text/logging.h"
#include "update/listingsparser.h"

#include <QTimer>

namespace {

QByteArray asciiLower(const QByteArray& text)
{
    QByteArray lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

} // namespace

bool reminderMatches(const QByteArray& keyword, const QByteArray& title)
{
    return !keyword.isEmpty() && asciiLower(title).contains(asciiLower(keyword));
}

ReminderSearch::ReminderSearch(const ListingsParser* parser, Form3* window, QObject* parent)
    : ReminderSearch(
          parser, window, nullptr, [] { return QList<Broadcast>(); }, &QDateTime::currentDateTime,
          parent)
{
}

ReminderSearch::ReminderSearch(const ListingsParser* parser, Form3* window,
                               ReminderNotifier* notifier, BroadcastSource broadcasts, Clock clock,
                               QObject* parent)
    : QObject(parent), m_parser(parser), m_window(window), m_notifier(notifier),
      m_broadcasts(std::move(broadcasts)), m_clock(std::move(clock)), szukajka(new QTimer(this))
{
    szukajka->setInterval(kInterval);
    connect(szukajka, &QTimer::timeout, this, &ReminderSearch::szukajkaTimer);
    if (m_notifier) {
        connect(m_notifier, &ReminderNotifier::unanswered, m_window, &Form3::showBroadcast);
        connect(m_notifier, &ReminderNotifier::snoozed, this, [this](const Broadcast& broadcast) {
            if (m_schedule)
                m_schedule->snooze(broadcast,
                                   m_clock().addSecs(ReminderSchedule::kSnoozeMinutes * 60));
        });
        connect(m_notifier, &ReminderNotifier::disarmed, this, &ReminderSearch::disarm);
    }
}

void ReminderSearch::armReminder(const QByteArray& keyword, int minutesBefore)
{
    if (!ReminderSchedule::isChoice(minutesBefore)) {
        qCWarning(lcLog).noquote()
            << QStringLiteral(".mrowka: Przypomnienie %1 min przed: nie ma takiego wyboru, "
                              "gdy leci")
                   .arg(minutesBefore);
        minutesBefore = 0;
    }
    // The same reminder armed again remembers what it has reminded of already.
    const bool same = m_schedule && m_schedule->keyword() == keyword &&
                      m_schedule->minutesBefore() == minutesBefore;
    if (minutesBefore == 0)
        m_schedule.reset();
    else if (!same)
        m_schedule.emplace(keyword, minutesBefore);
    m_keyword = keyword;
    m_minutesBefore = minutesBefore;
    if (!szukajka->isActive())
        szukajka->start();
    emit armed(keyword, minutesBefore);
}

void ReminderSearch::disarm()
{
    szukajka->stop();
    m_keyword.clear();
    m_schedule.reset();
    emit armed({}, m_minutesBefore);
}

QByteArray ReminderSearch::armedKeyword() const
{
    return szukajka->isActive() ? m_keyword : QByteArray();
}

void ReminderSearch::szukajkaTimer()
{
    // A spent reminder searches no more, even for a tick already on its way.
    if (!szukajka->isActive())
        return;
    if (m_schedule) {
        for (const Broadcast& broadcast : m_schedule->due(m_clock(), m_broadcasts())) {
            show(broadcast);
            emit reminded(broadcast);
        }
        return;
    }
    if (!reminderMatches(m_keyword, m_parser->lastTitle()))
        return;
    szukajka->stop();
    m_window->showReminder(m_keyword, m_parser->lastTitle(), m_parser->lastStation());
    emit fired();
}

void ReminderSearch::show(const Broadcast& broadcast)
{
    if (m_notifier)
        m_notifier->notify(broadcast);
    else
        m_window->showBroadcast(broadcast);
}
