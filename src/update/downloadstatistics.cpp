#include "update/downloadstatistics.h"

void DownloadStatistics::Count(qint64 fileSize)
{
    ++updates_;
    bytes_ += fileSize;
}

QString DownloadStatistics::PobranoCaption() const
{
    return QStringLiteral("Pobrano: %1 kB | %2 MB").arg(bytes_ / 1024).arg(bytes_ / 1048576);
}

QString DownloadStatistics::AktCaption() const
{
    return QStringLiteral("Udane aktualizacje: %1 razy").arg(updates_);
}
