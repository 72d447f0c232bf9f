#pragma once

#include <QString>
#include <QtGlobal>

// The counts shown in the tray menu's "Statystyki". The byte total is 64-bit, so it keeps
// counting past 2 GB.
class DownloadStatistics {
public:
    // One completed download of fileSize bytes.
    void count(qint64 fileSize);

    qint64 successfulUpdates() const { return m_updates; }
    qint64 totalBytes() const { return m_bytes; }

    // "Pobrano: <kB> kB | <MB> MB", both whole numbers cut down, both from the byte total.
    QString pobranoCaption() const;
    // "Udane aktualizacje: <n> razy".
    QString aktCaption() const;

private:
    qint64 m_updates = 0;
    qint64 m_bytes = 0;
};
