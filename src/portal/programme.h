#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

// One programme of a channel as the portal keeps it: instants in milliseconds since the epoch
// (UTC), the title already in the bytes the page writes.
struct Programme {
    qint64 start = 0;
    // When the programme ends; none for the last programme of a channel without a stop time,
    // which is listed but never marked as on air.
    std::optional<qint64> stop;
    QByteArray title;
    // A highlighted programme: its row carries the hit image.
    bool hit = false;
    // The number the page passes to its details window, okno(id).
    int id = 0;
    // The line of the listings file the programme was read from, for messages.
    int line = 0;
};
