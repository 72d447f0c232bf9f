#pragma once

// The two files in the working directory that hold the station list between runs.

// One station entry per line, in list order, each line ending in CR LF.
inline constexpr char kStationListFile[] = "programy.tv";

// The 0-based positions of the checked entries, one decimal number per line, ascending.
// A zero-byte file when no entry is checked.
inline constexpr char kCheckedStatesFile[] = "programy_stan.tv";
