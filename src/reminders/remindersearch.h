#pragma once

#include "reminders/broadcast.h"
#include "reminders/reminderschedule.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <functional>
#include <optional>

class Form3;
class ListingsParser;
class ReminderNotifier;
class QTimer;

// Whether a reminder keyword turns up in a title. Both are Windows-1250 bytes. Only the ASCII
// capitals A to Z are folded to small letters; every other byte, Polish letters included,
// must be identical. The keyword may stand anywhere, also inside a word; an empty keyword
// never matches.
bool reminderMatches(const QByteArray& keyword, const QByteArray& title);

// The reminder: a keyword armed through the input dialog and looked for every 10 s.
// - When the programme is on (0 minutes before): in the title the parser read last. The first
//   match shows the reminder window and spends the reminder.
// - Some minutes before it starts: in every programme still to come on the checked stations'
//   pages (ReminderSchedule). Each broadcast reminds once, as a desktop notification where a
//   server answers, else in the reminder window; the keyword stays armed.
class ReminderSearch : public QObject {
    Q_OBJECT
public:
    static constexpr int kInterval = 10000;

    // All the programmes known on the checked stations' kept pages.
    using BroadcastSource = std::function<QList<Broadcast>()>;
    using Clock = std::function<QDateTime()>;

    // Reminds only when the programme is on.
    ReminderSearch(const ListingsParser* parser, Form3* window, QObject* parent = nullptr);
    // Reminds before the start too. Without a notifier every reminder shows in the window.
    ReminderSearch(const ListingsParser* parser, Form3* window, ReminderNotifier* notifier,
                   BroadcastSource broadcasts, Clock clock = &QDateTime::currentDateTime,
                   QObject* parent = nullptr);

    // From idle the search starts afresh; an armed search keeps its rhythm with the new
    // keyword. Minutes that are no choice of the dialog count as 0, with a line in the log.
    void armReminder(const QByteArray& keyword, int minutesBefore = 0);
    // Stops reminding of the keyword ("Wyłącz przypomnienie").
    void disarm();
    // One search.
    void szukajkaTimer();

    const QTimer& timer() const { return *szukajka; }
    // The keyword looked for; empty when no reminder is armed, or it was spent.
    QByteArray armedKeyword() const;
    int minutesBefore() const { return m_minutesBefore; }

signals:
    // What is armed now: the keyword, empty once disarmed, and when it reminds.
    void armed(const QByteArray& keyword, int minutesBefore);
    // A reminder when the programme is on fired, and spent the keyword.
    void fired();
    // A broadcast was reminded of before its start, or while on; the keyword stays armed.
    void reminded(const Broadcast& broadcast);

private:
    void show(const Broadcast& broadcast);

    const ListingsParser* m_parser;
    Form3* m_window;
    ReminderNotifier* m_notifier;
    BroadcastSource m_broadcasts;
    Clock m_clock;
    QTimer* szukajka;
    QByteArray m_keyword;
    int m_minutesBefore = 0;
    // Only while reminding before the start.
    std::optional<ReminderSchedule> m_schedule;
};
