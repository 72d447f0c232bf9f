#include "portaltest.h"

#include "update/listingsparser.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <ctime>

void useTestTimeZone()
{
    const QByteArray zone = qgetenv("EKRANIK_TEST_TZ");
    qputenv("TZ", zone.isEmpty() ? QByteArray("Europe/Warsaw") : zone);
    tzset();
}

qint64 localInstant(const QString& isoLocal)
{
    const QDateTime local = QDateTime::fromString(isoLocal, Qt::ISODate);
    // Also in a release build: a local time that does not exist (a summer-time gap) or a typo
    // would otherwise move a programme to the epoch.
    if (!local.isValid())
        qFatal("not a valid local time: %s", qPrintable(isoLocal));
    return local.toMSecsSinceEpoch();
}

QByteArray nowPlayingOf(const QByteArray& page, const QString& station, QByteArray* title)
{
    QTemporaryDir folder;
    writeFile(folder.path(), station, page);
    // The parser takes the station's file name relative to the working directory.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    ListingsParser parser;
    const std::optional<QByteArray> line = parser.ParseListingsPage(station);
    QDir::setCurrent(previous);
    if (!line)
        return "<not parsed: " + parser.errorString().toUtf8() + '>';
    if (title)
        *title = parser.lastTitle();
    return *line;
}

QString writeFile(const QString& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}
