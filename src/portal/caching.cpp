#include "portal/caching.h"

#include <QCryptographicHash>
#include <QDateTime>

#include <array>
#include <cstdio>

namespace {

constexpr std::array<const char*, 7> kDays{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The tags a client lists (`"a", W/"b"`), each without its weakness mark; "*" for any.
bool listsTag(std::string_view list, std::string_view tag)
{
    std::size_t at = 0;
    while (at < list.size()) {
        while (at < list.size() && (list[at] == ' ' || list[at] == '\t' || list[at] == ','))
            ++at;
        if (at >= list.size())
            break;
        if (list[at] == '*')
            return true;
        if (list.substr(at, 2) == "W/")
            at += 2;
        if (at >= list.size() || list[at] != '"')
            return false; // not a list of tags
        const std::size_t end = list.find('"', at + 1);
        if (end == std::string_view::npos)
            return false;
        if (list.substr(at, end + 1 - at) == tag)
            return true;
        at = end + 1;
    }
    return false;
}

std::optional<int> indexOf(std::string_view name, const auto& names)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (name == names[i])
            return int(i);
    }
    return std::nullopt;
}

} // namespace

QByteArray entityTag(const QByteArray& body)
{
    // Not a secret, only a name for the bytes: the first 128 bits of SHA-1 are plenty.
    return '"' + QCryptographicHash::hash(body, QCryptographicHash::Sha1).left(16).toHex() + '"';
}

std::string cacheControl(const Freshness& freshness)
{
    if (!freshness.maxAge)
        return "no-store";
    return "public, max-age=" + std::to_string(std::max(0, *freshness.maxAge));
}

std::string httpDate(qint64 seconds)
{
    const QDateTime at = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    const QDate day = at.date();
    const QTime time = at.time();
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  kDays[std::size_t(day.dayOfWeek() - 1)], day.day(),
                  kMonths[std::size_t(day.month() - 1)], day.year(), time.hour(), time.minute(),
                  time.second());
    return text;
}

std::optional<qint64> parseHttpDate(std::string_view text)
{
    // IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT", the obsolete RFC 850 form
    // "Sunday, 06-Nov-94 08:49:37 GMT" and asctime's "Sun Nov  6 08:49:37 1994".
    char weekday[16] = {}, month[4] = {}, zone[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0, used = 0;
    const std::string s(text.substr(0, 64));
    bool read = std::sscanf(s.c_str(), "%3s, %2d %3s %4d %2d:%2d:%2d %3s%n", weekday, &day, month,
                            &year, &hour, &minute, &second, zone, &used) == 8 &&
                std::string_view(zone) == "GMT";
    if (!read) {
        read = std::sscanf(s.c_str(), "%15[A-Za-z], %2d-%3s-%2d %2d:%2d:%2d %3s%n", weekday, &day,
                           month, &year, &hour, &minute, &second, zone, &used) == 8 &&
               std::string_view(zone) == "GMT";
        // Two digits of a year more than 50 years ahead are a year of the past century.
        if (read)
            year += year + 2000 > QDate::currentDate().year() + 50 ? 1900 : 2000;
    }
    if (!read)
        read = std::sscanf(s.c_str(), "%3s %3s %2d %2d:%2d:%2d %4d%n", weekday, month, &day, &hour,
                           &minute, &second, &year, &used) == 7;
    if (!read || std::size_t(used) != s.size())
        return std::nullopt;
    const std::optional<int> monthIndex = indexOf(month, kMonths);
    const QDate date(year, monthIndex.value_or(-1) + 1, day);
    const QTime time(hour, minute, second);
    if (!monthIndex || !date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
}

bool stillValid(const Freshness& freshness, std::string_view ifNoneMatch,
                std::string_view ifModifiedSince)
{
    if (!ifNoneMatch.empty())
        return !freshness.etag.isEmpty() &&
               listsTag(ifNoneMatch, std::string_view(freshness.etag.constData(),
                                                      std::size_t(freshness.etag.size())));
    if (ifModifiedSince.empty() || freshness.lastModified == 0)
        return false;
    const std::optional<qint64> since = parseHttpDate(ifModifiedSince);
    return since && freshness.lastModified <= *since;
}
