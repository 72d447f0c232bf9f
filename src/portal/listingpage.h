#pragma once

#include "portal/channel.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The listings page of a channel for the local day of `now`, as ekranik reads it: ISO-8859-2
// HTML with CR LF line breaks, one table row a programme in local time, in order of start. The
// day (23 or 25 hours long on the days the clocks change) holds the programmes whose start falls
// on it and the one running at its midnight.
//
// The programme on air at `now` (the latest started of those running) is the only row with
// the on-air image "trwa.gif"; its start time "HH:MM" stands 73 characters before the image
// name, and its title is the first programme link after it. A hit row has the hit image in its
// time cell, so that on the on-air row the end of that image tag, f"></, stands 73 characters
// before "trwa.gif" and the time 148 before it. A day without a programme on air has no
// marker, and the page starts with "<html", which ekranik shows as "- brak informacji ".
//
// window, when given, receives the instants between which the page stays the same: from the
// last start, stop or midnight at or before now to the next one after it.
struct PageWindow {
    qint64 from = 0;
    qint64 until = 0;
};
QByteArray listingPage(const Channel& channel, const QDateTime& now, PageWindow* window = nullptr);

// A short page for an error answer, with the status and a sentence in Polish.
QByteArray errorPage(int status, const QString& reason);
