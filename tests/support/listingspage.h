#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A listings page reduced to what the parser reads: the programme on air now starts at `time`
// and is called `title` (in the page's own bytes). The time stands 73 characters before the
// on-now marker, the title's anchor follows it.
inline QByteArray listingsPage(const QByteArray& time, const QByteArray& title)
{
    return "<html><body><table><tr><td>" + time + QByteArray(68, '.') +
           "trwa.gif\"></td><td><a href=\"javascript:okno(7)\">" + title + "</a></td></tr>";
}

// Saves such a page under a station's name in the working folder, as a download leaves it.
inline bool saveListingsPage(const QString& station, const QByteArray& time,
                             const QByteArray& title)
{
    QFile file(station);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(listingsPage(time, title)) > 0;
}
