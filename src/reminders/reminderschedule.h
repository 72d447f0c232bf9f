#pragma once

#include "reminders/broadcast.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <array>

// When to remind of the broadcasts whose title holds the keyword, some minutes before each
// starts. Each broadcast (station and start) reminds once: from that many minutes before its
// start until it ends, so one found late, or only after a suspend, still reminds while it is on.
// It ends where the station's next broadcast starts, or an hour after its start when the page
// has nothing after it. The keyword stays armed: a series reminds at each broadcast.
class ReminderSchedule {
public:
    // The choices of the reminder dialog; 0 is "when it is on", the reminder the search makes
    // from the title parsed last, not this schedule.
    static constexpr std::array<int, 5> kMinutesChoices{0, 5, 10, 15, 30};
    // A broadcast with nothing after it on its page is taken to run this long.
    static constexpr int kUnknownLengthMinutes = 60;
    // A broadcast reminded of is remembered this long after its start, longer than any
    // programme runs: a page read again must not remind of it twice.
    static constexpr int kRememberHours = 24;
    // "Przypomnij za 5 min" puts a reminder off by this much.
    static constexpr int kSnoozeMinutes = 5;

    // Whether `minutes` is one of the dialog's choices.
    static bool isChoice(int minutes);

    ReminderSchedule(const QByteArray& keyword, int minutesBefore);

    const QByteArray& keyword() const { return m_keyword; }
    int minutesBefore() const { return m_minutesBefore; }

    // The broadcasts to remind of at `now`, each once, in the order given, then those put off
    // whose time has come. `broadcasts` are all the programmes known on the checked stations,
    // matching or not: the ones after a broadcast tell when it ends.
    QList<Broadcast> due(const QDateTime& now, const QList<Broadcast>& broadcasts);
    // Reminds of `broadcast` again at `when`, if it is still on by then.
    void snooze(const Broadcast& broadcast, const QDateTime& when);

private:
    struct Remembered {
        QByteArray station;
        QDateTime start;
        QDateTime end;
    };
    struct PutOff {
        Broadcast broadcast;
        QDateTime when;
        QDateTime end;
    };

    const Remembered* remembered(const Broadcast& broadcast) const;
    static QDateTime endOf(const Broadcast& broadcast, const QList<Broadcast>& broadcasts);

    QByteArray m_keyword;
    int m_minutesBefore;
    QList<Remembered> m_reminded;
    QList<PutOff> m_putOff;
};
