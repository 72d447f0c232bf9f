#include "update/downloadstatistics.h"

void DownloadStatistics::count(qint64 fileSize)
{
    ++m_updates;
    m_bytes += fileSize;
}

QString DownloadStatistics::pobranoCaption() const
{
    return QStringLiteral("Pobrano: %1 kB | %2 MB").arg(m_bytes / 1024).arg(m_bytes / 1048576);
}

QString DownloadStatistics::aktCaption() const
{
    return QStringLiteral("Udane aktualizacje: %1 razy").arg(m_updates);
}
