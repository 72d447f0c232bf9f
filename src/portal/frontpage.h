#pragma once

#include "portal/catalogue.h"

#include <QByteArray>
#include <QDateTime>

// The station line of a channel as ekranik's "Dodaj stację" takes it:
// "name.tv|http://HOST:PORT/program.html?...".
QByteArray stationLine(const Catalogue::Station& station, const QByteArray& hostPort);

// The portal's front page for a browser (UTF-8 HTML): every channel of the listings with its
// display name, its id, the programme on air at `now` and its station line, ready to copy.
QByteArray frontPage(const Catalogue& catalogue, const QDateTime& now, const QByteArray& hostPort);

// Every station line as a ready "programy.tv" for ekranik: Windows-1250, each line ending in
// CR LF, in the order of the listings.
QByteArray stationsFile(const Catalogue& catalogue, const QByteArray& hostPort);

// The programme of a channel on air at an instant (the latest started of those running), or
// null.
const Programme* onAirAt(const Channel& channel, qint64 instant);
