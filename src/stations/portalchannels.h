#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <optional>

// A channel the listings portal offers, as its /channels.json describes it.
struct PortalChannel {
    QString id;         // the XMLTV channel id, e.g. "TVP1.pl"
    QStringList names;  // display names, never empty; the first is the one shown
    QByteArray station; // the station entry "name|URL" for it, Windows-1250
    QDateTime nowStart; // the programme on air when the portal answered; invalid: none
    QString nowTitle;
    QDateTime until; // where its listings end; invalid: it has no programme
};

// A source the portal could not read the last time it read it.
struct PortalProblem {
    QString source; // its name as messages call it, password masked
    int line = 0;   // the line of broken XML; 0 when the reason is not about a line
    QString reason; // one Polish sentence
};

// What the portal's /channels.json says: whether its listings are in, which sources failed,
// and its channels in the listings' order.
struct PortalChannels {
    enum class State { Reading, Ready, Failed };
    State state = State::Reading;
    QList<PortalProblem> problems;
    QList<PortalChannel> channels;
};
Q_DECLARE_METATYPE(PortalChannels)

// The most channels one answer may list. The largest XMLTV grabbers offer a few thousand; an
// answer past this is not a portal's, and the picker would not be usable with it anyway.
inline constexpr qsizetype kMaxPortalChannels = 20000;

// Reads a /channels.json answer. Anything that is not the portal's format (broken JSON, a
// missing or mistyped field, a station that is not "name|URL" with a usable name, a time that
// is not ISO 8601) gives nullopt and, in `error`, one Polish sentence naming what was wrong.
// A channel whose station has no Windows-1250 form (a name in Cyrillic, say) cannot become a
// station entry: it is left out, and counted in `leftOut` when given.
std::optional<PortalChannels> parsePortalChannels(const QByteArray& json, QString* error = nullptr,
                                                  int* leftOut = nullptr);
