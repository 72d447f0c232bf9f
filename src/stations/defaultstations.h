#pragma once

#include <QByteArray>
#include <QList>

// The station list used when there is no "programy.tv" yet: 13 "<name>|http://<portal>/..."
// entries. The portal host comes from the EKRANIK_PORTAL_HOST build setting.
QList<QByteArray> defaultStations();
