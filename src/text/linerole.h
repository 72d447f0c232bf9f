#pragma once

#include <Qt>

// The item data role under which a row of a list keeps the program's own 8-bit bytes of its
// line (a station entry, a now-playing line), beside the text it shows.
inline constexpr int kLineRole = Qt::UserRole;
