#include "portal/sourcedownload.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>
#include <curl/curl.h>
#include <deque>
#include <filesystem>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 kStallBytesPerSecond = 1024;

// What the callbacks learn during one transfer; curl_easy_perform() only says that it failed.
struct Transfer {
    struct Sample {
        Clock::time_point time;
        curl_off_t bytes;
    };

    CURL* curl = nullptr;
    QFile* file = nullptr;
    qint64 maxBytes = 0;
    std::chrono::seconds stallTime{};
    const std::atomic<bool>* cancel = nullptr;

    qint64 received = 0;
    std::deque<Sample> samples; // about one a second, reaching back stallTime
    bool notOk = false;         // the body belongs to another status than 200
    bool tooLarge = false;
    QString writeError; // empty while writing succeeds
    bool stalled = false;
    bool cancelled = false;

    // curl's own low-speed check ends with the same code as its timeouts; this one says which.
    bool isStalled(Clock::time_point now, curl_off_t bytes)
    {
        if (!samples.empty() && bytes < samples.back().bytes)
            samples.clear(); // the counters start again with each response of a redirect
        if (samples.empty() || now - samples.back().time >= std::chrono::seconds(1))
            samples.push_back({now, bytes});
        const Clock::time_point windowStart = now - stallTime;
        while (samples.size() > 1 && samples[1].time <= windowStart)
            samples.pop_front();
        return samples.front().time <= windowStart &&
               bytes - samples.front().bytes < kStallBytesPerSecond * stallTime.count();
    }
};

size_t writeBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    long status = 0;
    curl_easy_getinfo(transfer->curl, CURLINFO_RESPONSE_CODE, &status);
    // Only a 200 is kept: an error page is not worth its transfer.
    if (status != 200) {
        transfer->notOk = true;
        return 0;
    }
    curl_off_t announced = -1;
    curl_easy_getinfo(transfer->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    transfer->received += qint64(bytes);
    if (announced > transfer->maxBytes || transfer->received > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0;
    }
    if (transfer->file->write(data, qint64(bytes)) != qint64(bytes)) {
        transfer->writeError = transfer->file->errorString();
        return 0;
    }
    return bytes;
}

int progress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t)
{
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->cancel && transfer->cancel->load()) {
        transfer->cancelled = true;
        return 1;
    }
    if (transfer->isStalled(Clock::now(), downloaded)) {
        transfer->stalled = true;
        return 1;
    }
    return 0;
}

QString sizeText(qint64 bytes)
{
    if (bytes > 0 && bytes % (1 << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    if (bytes > 0 && bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes >> 10);
    return QStringLiteral("%1 bytes").arg(bytes);
}

QByteArray lastHeader(CURL* curl, const char* name)
{
    curl_header* header = nullptr;
    if (curl_easy_header(curl, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK)
        return {};
    return QByteArray(header->value);
}

std::filesystem::path localPath(const QString& fileName)
{
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

SourceDownload::SourceDownload(const QString& url, const QString& cacheFolder)
    : SourceDownload(url, cacheFolder, Limits{})
{
}

SourceDownload::SourceDownload(const QString& url, const QString& cacheFolder, Limits limits)
    : m_url(url), m_cacheFolder(cacheFolder), m_limits(limits)
{
    const QByteArray hash = QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1);
    m_base = QDir(cacheFolder).filePath(QString::fromLatin1(hash.toHex()));
}

SourceDownload::~SourceDownload()
{
    discard();
}

QString SourceDownload::reason() const
{
    return m_reason;
}

QString SourceDownload::cachedFile() const
{
    return m_base + QStringLiteral(".xmltv");
}

QString SourceDownload::metaFile() const
{
    return m_base + QStringLiteral(".meta");
}

bool SourceDownload::hasCachedCopy() const
{
    return QFileInfo(cachedFile()).isFile();
}

QString SourceDownload::pendingFile() const
{
    return m_pending;
}

SourceDownload::Outcome SourceDownload::fetch(const std::atomic<bool>* cancel)
{
    discard();
    m_reason.clear();
    m_pendingValidators = {};

    const bool cached = hasCachedCopy();
    const Validators validators = cached ? cachedValidators() : Validators{};

    std::unique_ptr<QFile> file = openPending();
    if (!file)
        return fail(
            QStringLiteral("could not create a file for the download: %1").arg(m_cacheProblem));
    m_pending = file->fileName();
    m_pendingOwned = true;

    const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl)
        return fail(QStringLiteral("could not set up libcurl"));
    std::unique_ptr<curl_slist, CurlDeleter> headers;
    const auto addHeader = [&headers](const QByteArray& name, const QByteArray& value) {
        if (value.isEmpty())
            return;
        const QByteArray line = name + ": " + value;
        headers.reset(curl_slist_append(headers.release(), line.constData()));
    };
    addHeader("If-None-Match", validators.etag);
    addHeader("If-Modified-Since", validators.lastModified);

    Transfer transfer;
    transfer.curl = curl.get();
    transfer.file = file.get();
    transfer.maxBytes = m_limits.maxBytes;
    transfer.stallTime = m_limits.stallTime;
    transfer.cancel = cancel;

    using std::chrono::milliseconds;
    const QByteArray url = m_url.toUtf8();
    char curlError[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, m_limits.maxRedirects);
    // Fetches run on threads of their own: no alarm() for name lookups.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "ekranik-portal/" EKRANIK_VERSION);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS,
                     long(std::chrono::duration_cast<milliseconds>(m_limits.deadline).count()));
    curl_easy_setopt(
        handle, CURLOPT_CONNECTTIMEOUT_MS,
        long(std::chrono::duration_cast<milliseconds>(m_limits.connectTimeout).count()));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);

    const Clock::time_point started = Clock::now();
    transfer.samples.push_back({started, 0});
    const CURLcode result = curl_easy_perform(handle);
    const Clock::duration elapsed = Clock::now() - started;
    if (!file->flush() && transfer.writeError.isEmpty())
        transfer.writeError = file->errorString();
    file->close();

    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);

    if (transfer.cancelled)
        return fail(QStringLiteral("cancelled"));
    if (transfer.tooLarge)
        return fail(QStringLiteral("larger than %1").arg(sizeText(m_limits.maxBytes)));
    if (transfer.stalled)
        return fail(
            QStringLiteral("stalled: under 1 KiB/s for %1 s").arg(m_limits.stallTime.count()));
    if (!transfer.writeError.isEmpty())
        return fail(QStringLiteral("could not write %1: %2").arg(m_pending, transfer.writeError));
    if (result == CURLE_OK || transfer.notOk) {
        if (status == 200 && result == CURLE_OK) {
            m_pendingValidators = {lastHeader(handle, "ETag"), lastHeader(handle, "Last-Modified")};
            return Outcome::Downloaded;
        }
        if (status == 304 && cached) {
            discard();
            return Outcome::NotModified;
        }
        return fail(QStringLiteral("HTTP status %1").arg(status));
    }

    const QString curlText =
        QString::fromUtf8(curlError[0] ? curlError : curl_easy_strerror(result)).trimmed();
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
        // The deadline and the connect timeout end alike; only the clock tells them apart.
        if (elapsed >= m_limits.deadline)
            return fail(QStringLiteral("timed out after %1 s").arg(m_limits.deadline.count()));
        return fail(QStringLiteral("could not connect: timed out after %1 s")
                        .arg(m_limits.connectTimeout.count()));
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return fail(QStringLiteral("could not connect: %1").arg(curlText));
    default:
        return fail(curlText);
    }
}

bool SourceDownload::keep(QString* error)
{
    const auto refuse = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (m_pending.isEmpty())
        return refuse(QStringLiteral("nothing downloaded to keep"));
    if (!m_cacheProblem.isEmpty())
        return refuse(m_cacheProblem);

    if (m_pendingOwned) {
        // rename() replaces the old copy in one step: there is always one to read.
        std::error_code code;
        std::filesystem::rename(localPath(m_pending), localPath(cachedFile()), code);
        if (code)
            return refuse(QStringLiteral("could not replace %1: %2")
                              .arg(cachedFile(), QString::fromStdString(code.message())));
        m_pending = cachedFile();
        m_pendingOwned = false;
    }

    QSaveFile meta(metaFile());
    if (meta.open(QIODevice::WriteOnly)) {
        QByteArray text = "url " + m_url.toUtf8() + '\n';
        if (!m_pendingValidators.etag.isEmpty())
            text += "etag " + m_pendingValidators.etag + '\n';
        if (!m_pendingValidators.lastModified.isEmpty())
            text += "last-modified " + m_pendingValidators.lastModified + '\n';
        meta.write(text);
        if (meta.commit()) {
            m_pending.clear();
            return true;
        }
    }
    const QString problem =
        QStringLiteral("could not write %1: %2").arg(metaFile(), meta.errorString());
    // The old validators would vouch for the new body.
    QFile::remove(metaFile());
    return refuse(problem);
}

void SourceDownload::discard()
{
    if (m_pendingOwned)
        QFile::remove(m_pending);
    m_pending.clear();
    m_pendingOwned = false;
    m_cacheProblem.clear();
}

std::unique_ptr<QFile> SourceDownload::openPending()
{
    if (QDir().mkpath(m_cacheFolder)) {
        auto file = std::make_unique<QFile>(m_base + QStringLiteral(".part"));
        if (file->open(QIODevice::WriteOnly | QIODevice::Truncate))
            return file;
        m_cacheProblem =
            QStringLiteral("could not write %1: %2").arg(file->fileName(), file->errorString());
    } else {
        m_cacheProblem = QStringLiteral("could not create the cache folder %1").arg(m_cacheFolder);
    }
    // Still worth downloading: the listings can be served from memory.
    auto temporary = std::make_unique<QTemporaryFile>(
        QDir(QDir::tempPath()).filePath(QStringLiteral("ekranik-portal-XXXXXX.part")));
    temporary->setAutoRemove(false);
    if (temporary->open())
        return temporary;
    return nullptr;
}

SourceDownload::Validators SourceDownload::cachedValidators() const
{
    QFile meta(metaFile());
    if (!meta.open(QIODevice::ReadOnly))
        return {};
    Validators validators;
    bool sameUrl = false;
    const QList<QByteArray> lines = meta.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const qsizetype space = line.indexOf(' ');
        if (space < 0)
            continue;
        const QByteArray key = line.left(space);
        const QByteArray value = line.mid(space + 1);
        if (key == "url")
            sameUrl = value == m_url.toUtf8();
        else if (key == "etag")
            validators.etag = value;
        else if (key == "last-modified")
            validators.lastModified = value;
    }
    // Another url with the same hash, however unlikely, has nothing to say about this one.
    return sameUrl ? validators : Validators{};
}

SourceDownload::Outcome SourceDownload::fail(const QString& reason)
{
    m_reason = reason;
    discard();
    return Outcome::Failed;
}
