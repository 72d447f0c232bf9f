#include "update/channelsloader.h"

#include "net/httpfetch.h"

#include <QFile>

ChannelsLoader::ChannelsLoader(HttpFetch* fetch, const QString& language, QObject* parent)
    : QObject(parent), m_fetch(fetch)
{
    m_fetch->AcceptLanguage = language.toLatin1();
    m_askAgain.setSingleShot(true);
    m_askAgain.setInterval(kAskAgainMs);
    connect(&m_askAgain, &QTimer::timeout, this, &ChannelsLoader::ask);
    connect(m_fetch, &HttpFetch::OnDoneFile, this, &ChannelsLoader::fetchDone);
    connect(m_fetch, &HttpFetch::OnError, this, &ChannelsLoader::fetchFailed);
    connect(m_fetch, &HttpFetch::OnProgress, this, &ChannelsLoader::fetchProgress);
}

void ChannelsLoader::load(const QString& hostPort)
{
    m_hostPort = hostPort;
    m_active = true;
    m_askAgain.stop();
    if (m_fetch->isBusy()) {
        // The download under way asks the old address: it ends, then the new one is asked.
        m_askWhenDone = true;
        m_fetch->CancelDownload();
        return;
    }
    ask();
}

void ChannelsLoader::stop()
{
    m_active = false;
    m_askWhenDone = false;
    m_askAgain.stop();
    m_fetch->CancelDownload();
}

QString ChannelsLoader::address() const
{
    return QStringLiteral("http://%1/channels.json").arg(m_hostPort);
}

void ChannelsLoader::ask()
{
    if (!m_active)
        return;
    if (!m_folder.isValid()) {
        fail(tr("Nie można utworzyć folderu tymczasowego na listę kanałów."));
        return;
    }
    m_tooLarge = false;
    m_fetch->URL = address().toUtf8();
    m_fetch->FileName = m_folder.filePath(QStringLiteral("channels.json"));
    m_fetch->DownloadFile();
}

void ChannelsLoader::fetchProgress(int total, int readed)
{
    if (!m_tooLarge && (total > kMaxAnswerBytes || readed > kMaxAnswerBytes)) {
        m_tooLarge = true;
        m_fetch->CancelDownload();
    }
}

QString ChannelsLoader::tooLargeText() const
{
    return tr("Lista kanałów z %1 jest większa niż %2 MiB (kMaxAnswerBytes).")
        .arg(address())
        .arg(kMaxAnswerBytes / (1024 * 1024));
}

void ChannelsLoader::fail(const QString& reason)
{
    m_active = false;
    emit failed(reason);
}

bool ChannelsLoader::handOver()
{
    if (!m_askWhenDone)
        return false;
    m_askWhenDone = false;
    // The component stays busy while its completion is handled: ask once that is over.
    QTimer::singleShot(0, this, &ChannelsLoader::ask);
    return true;
}

void ChannelsLoader::fetchFailed()
{
    if (handOver() || !m_active)
        return;
    fail(m_tooLarge ? tooLargeText()
                    : tr("Nie udało się pobrać listy kanałów z %1.").arg(address()));
}

void ChannelsLoader::fetchDone()
{
    if (handOver() || !m_active)
        return;
    QFile file(m_fetch->FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(tr("Nie można odczytać pobranej listy kanałów z %1.").arg(address()));
        return;
    }
    const QByteArray json = file.read(kMaxAnswerBytes + 1);
    if (json.size() > kMaxAnswerBytes) {
        fail(tooLargeText());
        return;
    }
    QString error;
    const std::optional<PortalChannels> channels = parsePortalChannels(json, &error);
    if (!channels) {
        fail(error);
        return;
    }
    if (channels->state == PortalChannels::State::Reading)
        m_askAgain.start();
    else
        m_active = false;
    emit loaded(*channels);
}
