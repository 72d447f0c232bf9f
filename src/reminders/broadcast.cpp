#include "reminders/broadcast.h"

#include <QTime>

QList<Broadcast> broadcastsOfDay(const QByteArray& station, const QDate& day,
                                 const QList<std::pair<QByteArray, QByteArray>>& timesAndTitles)
{
    QList<Broadcast> broadcasts;
    QDate date = day;
    QTime previous;
    for (const auto& [time, title] : timesAndTitles) {
        const QTime start = QTime::fromString(QString::fromLatin1(time.trimmed()), u"HH:mm");
        if (!start.isValid())
            continue;
        if (previous.isValid() && start < previous)
            date = date.addDays(1);
        previous = start;
        broadcasts.append({station, QDateTime(date, start), title});
    }
    return broadcasts;
}
