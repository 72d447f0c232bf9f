#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <utility>

// One programme of a station's listings page as the reminder looks ahead at it. The station
// and the title are Windows-1250 bytes, as the parser gives them.
struct Broadcast {
    QByteArray station;
    QDateTime start;
    QByteArray title;

    friend bool operator==(const Broadcast&, const Broadcast&) = default;
};

// A page's programmes in their order, each a time "HH:MM" and a title, as broadcasts of
// `station` on `day`. A page runs past midnight: a time earlier than the one before it is on
// the next day. A row whose time does not read as one is left out.
QList<Broadcast> broadcastsOfDay(const QByteArray& station, const QDate& day,
                                 const QList<std::pair<QByteArray, QByteArray>>& timesAndTitles);
