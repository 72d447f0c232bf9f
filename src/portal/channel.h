#pragma once

#include "portal/programme.h"

#include <QByteArray>
#include <QList>
#include <QString>

// A channel of the listings: its XMLTV id, its name as the page writes it, and its programmes
// in order of start.
struct Channel {
    QString id;
    QByteArray name;
    QList<Programme> programmes;
};
