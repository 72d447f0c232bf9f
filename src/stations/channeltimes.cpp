#include "stations/channeltimes.h"

#include <QCoreApplication>
#include <QTimeZone>
#include <array>

namespace {

// A week ahead the weekday names a day twice, so it stops one day short of that.
constexpr qint64 kWeekdayReachDays = 6;

constexpr std::array<const char*, 7> kWeekdays{
    QT_TRANSLATE_NOOP("ChannelTimes", "pn"), QT_TRANSLATE_NOOP("ChannelTimes", "wt"),
    QT_TRANSLATE_NOOP("ChannelTimes", "śr"), QT_TRANSLATE_NOOP("ChannelTimes", "cz"),
    QT_TRANSLATE_NOOP("ChannelTimes", "pt"), QT_TRANSLATE_NOOP("ChannelTimes", "so"),
    QT_TRANSLATE_NOOP("ChannelTimes", "nd")};

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
        return QCoreApplication::translate("ChannelTimes", "do %1").arg(clockTime(end));
    if (days > 0 && days <= kWeekdayReachDays)
        return QCoreApplication::translate("ChannelTimes", "do %1 %2")
            .arg(QCoreApplication::translate("ChannelTimes", kWeekdays[end.date().dayOfWeek() - 1]),
                 clockTime(end));
    return QCoreApplication::translate("ChannelTimes", "do %1 %2")
        .arg(end.date().toString(QStringLiteral("dd.MM")), clockTime(end));
}
