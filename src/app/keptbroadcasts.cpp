#include "app/keptbroadcasts.h"

#include "stations/stationentry.h"
#include "text/win1250.h"
#include "update/pagetext.h"

#include <QFile>

// A page holds the day it was downloaded on: its rows are taken as that day's.
QList<Broadcast> keptBroadcasts(const QList<QByteArray>& entries, const QList<bool>& checks)
{
    QList<Broadcast> broadcasts;
    for (int row = 0; row < entries.size() && row < checks.size(); ++row) {
        const QByteArray station = EntryName(entries[row]);
        if (!checks[row] || checkStationName(station) != StationNameProblem::None)
            continue;
        QFile page(win1250ToUnicode(station));
        if (!page.open(QIODevice::ReadOnly))
            continue;
        QList<std::pair<QByteArray, QByteArray>> rows;
        for (const PageProgramme& programme : pageProgrammes(page.readAll()))
            rows.append({programme.time, programme.title});
        broadcasts +=
            broadcastsOfDay(station, page.fileTime(QFileDevice::FileModificationTime).date(), rows);
    }
    return broadcasts;
}
