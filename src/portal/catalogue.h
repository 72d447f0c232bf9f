#pragma once

#include "portal/listings.h"
#include "portal/stationmap.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// What the portal serves at one moment: the listings of every source, the station map resolved
// against them, and for each channel the station line a user adds to ekranik. Built whole and
// never changed afterwards, so any number of threads may read it; new listings make a new one.
class Catalogue {
public:
    // A channel as ekranik's station list takes it: a station name that is a plain file name
    // ending in ".tv", and the path and query of its page on the portal.
    struct Station {
        QString channelId;
        QByteArray name;
        QByteArray path;
    };

    Catalogue(Listings listings, StationMap stations);

    const Listings& listings() const { return m_listings; }
    const StationMap& stationMap() const { return m_stations; }

    // The channel id a station number shows: the map's entry, found among the channels by id,
    // else by a display name in any case; an entry found neither way stays as written (its
    // page is an empty day). Null for a number the map does not have.
    const QString* channelOfStation(int station) const;
    // One station a channel, in the order of the listings.
    const QList<Station>& stations() const { return m_stationList; }

private:
    Listings m_listings;
    StationMap m_stations;
    QHash<int, QString> m_resolved;
    QList<Station> m_stationList;
};

// A station name made of a channel name: lower-case ASCII letters and digits, words joined
// with dots, ending in ".tv" ("TVP 1 HD" gives "tvp.1.hd.tv", "Polsat Café" "polsat.cafe.tv");
// empty when the name has no letter or digit to keep.
QByteArray stationNameOf(const QString& channelName);

// Everything the request address of a channel's page needs escaped.
QByteArray percentEncoded(const QString& text);
