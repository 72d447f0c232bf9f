#pragma once

#include "portal/listings.h"

#include <QString>
#include <optional>

// Reads an XMLTV listings file: the channels (id and display name) and the programmes (start,
// stop, channel, title, star rating). Titles and names are kept in the bytes the page writes
// (see programText()); the title in Polish is taken when there are several, else the first.
// A programme is a hit when one of its star ratings is 4/5 or better (at least 80 % of the
// scale, "8/10" too).
//
// On failure returns nullopt and sets error to a sentence naming the file and the line, e.g.
// "Cannot read listings file "demo.xmltv", line 12: ...". A file that is not well-formed XML,
// has another root element than <tv>, or has a programme without start, channel or title, with
// a time that is not an XMLTV time, or ending before it starts, fails.
std::optional<Listings> readXmltv(const QString& fileName, QString* error);
