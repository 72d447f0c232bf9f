#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Shared by the portal tests.

// Puts the process in the time zone named by EKRANIK_TEST_TZ, else Europe/Warsaw. Call first
// in main, before anything reads the local time.
void useTestTimeZone();

// An instant given as local date and time, "2026-12-08T20:00", or with its offset from UTC,
// "2026-10-25T02:30+01:00" (for the hour that repeats when summer time ends).
qint64 localInstant(const QString& isoLocal);

// What ekranik shows for a page: the page saved as the station's file in a fresh folder and
// read by ekranik's own parser. Returns the "station : time - title" line (Windows-1250) and
// sets title to the title as ekranik shows it.
QByteArray nowPlayingOf(const QByteArray& page, const QString& station,
                        QByteArray* title = nullptr);

// Writes bytes to a new file of that name in folder; returns its path.
QString writeFile(const QString& folder, const QString& name, const QByteArray& bytes);
