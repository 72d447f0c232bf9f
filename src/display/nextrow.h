#pragma once

#include "update/pageprogramme.h"

#include <QString>
#include <QTime>
#include <optional>

// The second row the widget shows under a now-playing line, and the tray tip beside it: what
// comes next, and how much of the programme on air has run.
struct NextRow {
    // "następnie HH:MM Title", cut as a now-playing line is cut.
    QString text;
    // 0 at the start of the programme on air, 1 at the next one's; nothing where the page's
    // times do not say.
    std::optional<double> done;

    bool operator==(const NextRow&) const = default;
};

// The row for what follows a line, at `now`.
NextRow nextRow(const NextUp& next, QTime now);

// How much of a programme that began at `since` and gives way at `until` (both "HH:MM" as the
// page writes them) has run at `now`, from 0 to 1; nothing unless both read as times of day and
// differ. A next programme at an earlier time of day comes after midnight; a moment a little
// before the start counts as the start, one long after the end as the end.
std::optional<double> doneAt(const QByteArray& since, const QByteArray& until, QTime now);
