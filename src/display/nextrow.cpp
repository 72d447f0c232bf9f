#include "display/nextrow.h"

#include "text/win1250.h"

#include <QCoreApplication>

namespace {

constexpr int kDay = 24 * 60 * 60;

// Seconds since midnight of an "HH:MM" time; nothing for any other text. Read by hand: it is
// read for every line at every tick.
std::optional<int> secondsOfDay(const QByteArray& time)
{
    const auto digit = [&time](int i) {
        const char c = time[i];
        return c >= '0' && c <= '9' ? c - '0' : -100;
    };
    if (time.size() != 5 || time[2] != ':')
        return std::nullopt;
    const int hours = digit(0) * 10 + digit(1);
    const int minutes = digit(3) * 10 + digit(4);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
        return std::nullopt;
    return (hours * 60 + minutes) * 60;
}

} // namespace

NextRow nextRow(const NextUp& next, QTime now)
{
    // Cut as the line is, one character for each of its bytes.
    QString row =
        QCoreApplication::translate("NextRow", "następnie %1 %2")
            .arg(win1250ToUnicode(next.programme.time), win1250ToUnicode(next.programme.title));
    if (row.size() >= 50)
        row = row.left(51) + QStringLiteral("...");
    return {row, doneAt(next.onAirSince, next.programme.time, now)};
}

std::optional<double> doneAt(const QByteArray& since, const QByteArray& until, QTime now)
{
    const std::optional<int> start = secondsOfDay(since);
    const std::optional<int> end = secondsOfDay(until);
    if (!start || !end || *start == *end || !now.isValid())
        return std::nullopt;
    const int length = (*end - *start + kDay) % kDay;
    const int run = (now.msecsSinceStartOfDay() / 1000 - *start + kDay) % kDay;
    if (run <= length)
        return static_cast<double>(run) / length;
    // Outside the programme: nearer its start (a clock a little behind the page's), or past
    // its end (a page not read again since).
    return kDay - run < run - length ? 0.0 : 1.0;
}
