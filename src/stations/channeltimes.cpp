#include "stations/channeltimes.h"

#include <QTimeZone>
#include <array>

namespace {

// A week ahead the weekday names a day twice, so it stops one day short of that.
constexpr qint64 kWeekdayReachDays = 6;

const std::array<QString, 7> kWeekdays{
    QStringLiteral("pn"), QStringLiteral("wt"), QStringLiteral("śr"), QStringLiteral("cz"),
    QStringLiteral("pt"), QStringLiteral("so"), QStringLiteral("nd")};

QString clockTime(const QDateTime& time)
{
    return time.time().toString(QStringLiteral("HH:mm"));
}

} // namespace

QString onAirText(const QDateTime& start, const QString& title, const QDateTime& now)
{
    if (!start.isValid())
        return QString();
    return clockTime(start.toTimeZone(now.timeZone())) + QLatin1Char(' ') + title;
}

QString reachText(const QDateTime& until, const QDateTime& now)
{
    if (!until.isValid())
        return QString();
    const QDateTime end = until.toTimeZone(now.timeZone());
    const qint64 days = now.date().daysTo(end.date());
    if (days == 0)
        return QStringLiteral("do ") + clockTime(end);
    if (days > 0 && days <= kWeekdayReachDays)
        return QStringLiteral("do %1 %2")
            .arg(kWeekdays[end.date().dayOfWeek() - 1], clockTime(end));
    return QStringLiteral("do %1 %2")
        .arg(end.date().toString(QStringLiteral("dd.MM")), clockTime(end));
}
