#pragma once

#include <QByteArray>

// Whether a reminder keyword turns up in a title. Both are Windows-1250 bytes. Only the ASCII
// capitals A to Z are folded to small letters; every other byte, Polish letters included,
// must be identical. The keyword may stand anywhere, also inside a word; an empty keyword
// never matches.
bool ReminderMatches(const QByteArray& keyword, const QByteArray& title);
