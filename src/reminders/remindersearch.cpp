#include "reminders/remindersearch.h"

#include "reminders/form3.h"
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
    : QObject(parent), m_parser(parser), m_window(window), szukajka(new QTimer(this))
{
    szukajka->setInterval(kInterval);
    connect(szukajka, &QTimer::timeout, this, &ReminderSearch::szukajkaTimer);
}

void ReminderSearch::armReminder(const QByteArray& keyword)
{
    m_keyword = keyword;
    if (!szukajka->isActive())
        szukajka->start();
    emit armed(keyword);
}

QByteArray ReminderSearch::armedKeyword() const
{
    return szukajka->isActive() ? m_keyword : QByteArray();
}

void ReminderSearch::szukajkaTimer()
{
    // A spent reminder searches no more, even for a tick already on its way.
    if (!szukajka->isActive() || !reminderMatches(m_keyword, m_parser->lastTitle()))
        return;
    szukajka->stop();
    m_window->showReminder(m_keyword, m_parser->lastTitle(), m_parser->lastStation());
    emit fired();
}
