#pragma once

#include "portal/programme.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A channel of the listings: its XMLTV id, its name as the page writes it, every display name
// the listings give it, and its programmes in order of start.
struct Channel {
    QString id;
    QByteArray name;
    QStringList displayNames;
    QList<Programme> programmes;
};
