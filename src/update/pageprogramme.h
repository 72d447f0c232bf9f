#pragma once

#include <QByteArray>

// One programme row of a station's listings page, read as the now-playing line is read.
struct PageProgramme {
    // The start time as the page writes it, normally "HH:MM"; empty when the row has none.
    QByteArray time;
    // Windows-1250 with the page charset fixed, as the now-playing line has it, but never cut:
    // cutting is the display's business.
    QByteArray title;
    // The row the page marks as on air now.
    bool onAir = false;
    // The row carries the portal's hit image ("[HIT] " in the now-playing line).
    bool hit = false;

    bool operator==(const PageProgramme&) const = default;
};

// What follows a now-playing line on its page: the next programme, and when the line's own
// programme began (its time as the page writes it). How far the programme on air has run is
// measured between the two.
struct NextUp {
    QByteArray onAirSince;
    PageProgramme programme;

    bool operator==(const NextUp&) const = default;
};
