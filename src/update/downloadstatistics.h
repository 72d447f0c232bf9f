#pragma once

#include <QString>
#include <QtGlobal>

// The counts shown in the tray menu's "Statystyki". The byte total is 64-bit, so it keeps
// counting past 2 GB.
class DownloadStatistics {
public:
    // One completed download of fileSize bytes.
    void Count(qint64 fileSize);

    qint64 successfulUpdates() const { return updates_; }
    qint64 totalBytes() const { return bytes_; }

    // "Pobrano: <kB> kB | <MB> MB", both whole numbers cut down, both from the byte total.
    QString PobranoCaption() const;
    // "Udane aktualizacje: <n> razy".
    QString AktCaption() const;

private:
    qint64 updates_ = 0;
    qint64 bytes_ = 0;
};
