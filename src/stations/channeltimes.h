#pragma once

#include <QDateTime>
#include <QString>

// The times the channel picker shows, on the clock of `now` (the user's local time in the
// program, a fixed zone in tests).

// What is on air: "20:00 Wiadomości"; empty without a programme (an invalid start).
QString onAirText(const QDateTime& start, const QString& title, const QDateTime& now);

// How far a channel's listings reach: "do 23:00" when they end today, "do pt 23:00" within the
// coming six days (pn wt śr cz pt so nd), "do 18.12 23:00" further on or when they ended before
// today, where a weekday would say the wrong day; empty when they do not reach at all (invalid).
QString reachText(const QDateTime& until, const QDateTime& now);
