#pragma once

#include <QByteArray>
#include <QString>

// A station entry is one Windows-1250 line: "<name>|<URL>", split at the first "|".
// The name is also the file name under which the station's page is saved in the
// working directory.

// Text before the first "|"; empty when there is no "|".
QByteArray EntryName(const QByteArray& entry);

// Text after the first "|" (later "|" belong to it); the whole entry when there is no "|".
QByteArray EntryURL(const QByteArray& entry);

// Why a name part cannot serve as the file name of a station page.
enum class StationNameProblem {
    None,
    Empty,       // ""
    DotName,     // "." or ".."
    Separator,   // contains "/" or "\"
    Resource,    // starts with ":", which Qt's file classes read as a resource path
    StationFile, // would overwrite "programy.tv" or "programy_stan.tv"
    ControlChar, // contains a byte below 0x20 (CR/LF would split the entry on reload)
};

// The first problem found, checked in the order of the enum; None for a usable name.
StationNameProblem checkStationName(const QByteArray& name);

// One Polish sentence for the user; empty for None.
QString stationNameProblemText(StationNameProblem problem);
