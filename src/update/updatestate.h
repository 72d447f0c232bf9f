#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The update engine's state for the whole run. Only the GUI thread touches it.
struct UpdateState {
    // 0 at start and at each wrap, then 1, 2, ... n: the tick at position p may fetch entry p.
    int queuePosition = 0;
    // Recounted at every tick; the now-playing list is complete when it holds this many lines.
    int checkedCount = 0;
    // On from the main window's creation until the first wrap: one tick a second meanwhile.
    bool hotStart = false;
    // On once the station files have been loaded; nothing is fetched before.
    bool activated = false;
    // On while the program's own portal reads its listings: its pages would only say so.
    bool waitingForListings = false;
    // The frequency the user picked, applied again at every wrap; empty until then.
    QString frequencyKeyword;
    // The station whose download was set up last: the one the progress texts speak of.
    QByteArray currentStation;
    // The clock text parts of the last tick.
    QString weekday;
    QString time;
    // On from a download's first progress report until its completion or failure.
    bool downloadBusy = false;

    // "hh : mm | weekday".
    QString clockText() const { return time + QStringLiteral(" | ") + weekday; }
};

// The update interval that a frequency keyword stands for ("slowest" ... "extreme"), compared
// exactly; nothing for any other keyword, the empty one included.
std::optional<int> frequencyInterval(const QString& keyword);
