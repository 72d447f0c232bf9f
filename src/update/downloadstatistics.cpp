#include "update/downloadstatistics.h"

#include <QCoreApplication>

void DownloadStatistics::count(qint64 fileSize)
{
    ++m_updates;
    m_bytes += fileSize;
}

QString DownloadStatistics::pobranoCaption() const
{
    return QCoreApplication::translate("DownloadStatistics", "Pobrano: %1 kB | %2 MB")
        .arg(m_bytes / 1024)
        .arg(m_bytes / 1048576);
}

QString DownloadStatistics::aktCaption() const
{
    return QCoreApplication::translate("DownloadStatistics", "Udane aktualizacje: %1 razy")
        .arg(m_updates);
}
