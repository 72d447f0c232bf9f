#pragma once

#include "portal/channel.h"

#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>

// The channels and programmes the portal serves. Filled once, then only read (also by many
// threads at once).
class Listings {
public:
    // Adds a channel, or gives a known one its name and display names.
    void addChannel(const QString& id, const QByteArray& name,
                    const QStringList& displayNames = {});
    // Adds a programme to a channel; an unknown channel is added with its id as its name.
    void addProgramme(const QString& channelId, const Programme& programme);
    // Adds the channels of a later source: a channel this has not got whole, and of one it
    // has, the programmes only when it has none (the first source wins).
    void addFrom(const Listings& later);
    // Puts each channel's programmes in order of start and gives a programme without a stop
    // time the start of the next one as its stop. Call after the last addProgramme.
    void finish();

    // Moves the listings to the given local day, keeping every programme's local time of day:
    // every programme moves by the whole number of days from the local day of the earliest
    // start to `day`. The listings are also repeated once before and once after, moved by
    // their own length in days, so that the day is covered in any time zone (listings of one
    // day written for another zone spill over into a neighbouring local day) and after
    // midnight too. On a day the clocks skip an hour, what starts in it starts when they go on
    // and what lies wholly in it is left out. Call after finish().
    void moveToDay(const QDate& day);

    // The channel with the given id, or null.
    const Channel* channel(const QString& id) const;
    // The channel ids in the order the channels were first added.
    QStringList channelIds() const;
    qsizetype programmeCount() const;

private:
    QHash<QString, Channel> m_channels;
    QStringList m_order;
};
