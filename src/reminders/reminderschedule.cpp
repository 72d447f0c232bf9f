#include "reminders/reminderschedule.h"

#include "reminders/remindersearch.h"

#include <algorithm>

bool ReminderSchedule::isChoice(int minutes)
{
    return std::find(kMinutesChoices.begin(), kMinutesChoices.end(), minutes) !=
           kMinutesChoices.end();
}

ReminderSchedule::ReminderSchedule(const QByteArray& keyword, int minutesBefore)
    : m_keyword(keyword), m_minutesBefore(minutesBefore)
{
}

const ReminderSchedule::Remembered* ReminderSchedule::remembered(const Broadcast& broadcast) const
{
    for (const Remembered& r : m_reminded) {
        if (r.station == broadcast.station && r.start == broadcast.start)
            return &r;
    }
    return nullptr;
}

QDateTime ReminderSchedule::endOf(const Broadcast& broadcast, const QList<Broadcast>& broadcasts)
{
    QDateTime end;
    for (const Broadcast& other : broadcasts) {
        if (other.station == broadcast.station && other.start > broadcast.start &&
            (!end.isValid() || other.start < end))
            end = other.start;
    }
    return end.isValid() ? end : broadcast.start.addSecs(kUnknownLengthMinutes * 60);
}

QList<Broadcast> ReminderSchedule::due(const QDateTime& now, const QList<Broadcast>& broadcasts)
{
    m_reminded.removeIf(
        [&](const Remembered& r) { return r.start.addSecs(kRememberHours * 3600) < now; });

    QList<Broadcast> due;
    for (const Broadcast& broadcast : broadcasts) {
        if (!broadcast.start.isValid() || !reminderMatches(m_keyword, broadcast.title) ||
            remembered(broadcast))
            continue;
        const QDateTime end = endOf(broadcast, broadcasts);
        if (now < broadcast.start.addSecs(-m_minutesBefore * 60) || now >= end)
            continue;
        m_reminded.append({broadcast.station, broadcast.start, end});
        due.append(broadcast);
    }

    // What was put off comes back once its time has come, unless it has ended meanwhile.
    for (qsizetype i = 0; i < m_putOff.size();) {
        const PutOff& putOff = m_putOff.at(i);
        if (now < putOff.when) {
            ++i;
            continue;
        }
        if (now < putOff.end)
            due.append(putOff.broadcast);
        m_putOff.removeAt(i);
    }
    return due;
}

void ReminderSchedule::snooze(const Broadcast& broadcast, const QDateTime& when)
{
    const Remembered* r = remembered(broadcast);
    const QDateTime end = r ? r->end : broadcast.start.addSecs(kUnknownLengthMinutes * 60);
    m_putOff.append({broadcast, when, end});
}
