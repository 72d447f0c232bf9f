#pragma once

#include "reminders/broadcast.h"

#include <QByteArray>
#include <QList>

// Every programme on the pages kept in the working folder for the checked stations of a
// station list (entries with their check marks), for the reminder before the start. A station
// without a page, or whose name is no file name, has none.
QList<Broadcast> keptBroadcasts(const QList<QByteArray>& entries, const QList<bool>& checks);
