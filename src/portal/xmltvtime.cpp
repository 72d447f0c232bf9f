#include "portal/xmltvtime.h"

#include <QDateTime>

namespace {

// The number written by count digits from position from; the caller has checked they are
// digits.
int numberAt(QStringView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i)
        value = value * 10 + (text[i].unicode() - '0');
    return value;
}

bool allDigits(QStringView text)
{
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// Seconds ahead of UTC for a zone as XMLTV writes it.
std::optional<int> zoneOffset(QStringView zone)
{
    if (zone.isEmpty() || zone == u"UTC" || zone == u"GMT" || zone == u"Z")
        return 0;
    if (zone == u"BST" || zone == u"CET")
        return 3600;
    if (zone == u"CEST")
        return 7200;
    if (zone.size() != 5 || (zone[0] != u'+' && zone[0] != u'-') || !allDigits(zone.mid(1)))
        return std::nullopt;
    const int hours = numberAt(zone, 1, 2);
    const int minutes = numberAt(zone, 3, 2);
    if (hours > 14 || minutes > 59)
        return std::nullopt;
    const int seconds = hours * 3600 + minutes * 60;
    return zone[0] == u'-' ? -seconds : seconds;
}

} // namespace

std::optional<qint64> parseXmltvTime(QStringView text)
{
    text = text.trimmed();
    qsizetype digits = 0;
    while (digits < text.size() && text[digits] >= u'0' && text[digits] <= u'9')
        ++digits;
    if (digits != 8 && digits != 10 && digits != 12 && digits != 14)
        return std::nullopt;
    const std::optional<int> offset = zoneOffset(text.mid(digits).trimmed());
    if (!offset)
        return std::nullopt;

    const QDate date(numberAt(text, 0, 4), numberAt(text, 4, 2), numberAt(text, 6, 2));
    const int hour = digits >= 10 ? numberAt(text, 8, 2) : 0;
    const int minute = digits >= 12 ? numberAt(text, 10, 2) : 0;
    const int second = digits >= 14 ? numberAt(text, 12, 2) : 0;
    if (!date.isValid() || !QTime::isValid(hour, minute, second))
        return std::nullopt;
    const QDateTime utc(date, QTime(hour, minute, second), Qt::UTC);
    return utc.toMSecsSinceEpoch() - qint64(*offset) * 1000;
}
