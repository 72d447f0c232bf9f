#include "portal/sourcedownload.h"

#include "portal/cachefolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <deque>
#include <fcntl.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint64 kStallBytesPerSecond = 1024;
// The longest a fetch waits for its sockets before it looks at the cancel flag again.
constexpr int kPollIntervalMs = 100;
// A .meta file is a few short lines; more than this was not written by the portal.
constexpr qint64 kMaxMetaBytes = 64 * 1024;

// What the callbacks learn during one transfer; its result code only says that it failed.
struct Transfer {
    struct Sample {
        Clock::time_point time;
        curl_off_t bytes;
    };

    CURL* curl = nullptr;
    int fd = -1;
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
    size_t written = 0;
    while (written < bytes) {
        const ssize_t n = ::write(transfer->fd, data + written, bytes - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            transfer->writeError = QString::fromLocal8Bit(std::strerror(n < 0 ? errno : ENOSPC));
            return 0;
        }
        written += size_t(n);
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

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The multi handle that drives one transfer, so that waiting on its sockets can be cut short.
class MultiTransfer {
public:
    explicit MultiTransfer(CURL* easy) : m_multi(curl_multi_init()), m_easy(easy)
    {
        if (m_multi)
            m_added = curl_multi_add_handle(m_multi, m_easy) == CURLM_OK;
    }
    ~MultiTransfer()
    {
        if (m_added)
            curl_multi_remove_handle(m_multi, m_easy);
        if (m_multi)
            curl_multi_cleanup(m_multi);
    }
    MultiTransfer(const MultiTransfer&) = delete;
    MultiTransfer& operator=(const MultiTransfer&) = delete;

    enum class End { Done, Cancelled, Broken };
    // Runs the transfer until it ends or cancel is set; result is the transfer's own code.
    End run(const std::atomic<bool>* cancel, CURLcode* result, QString* broken)
    {
        if (!m_added) {
            *broken = QStringLiteral("could not set up libcurl");
            return End::Broken;
        }
        for (;;) {
            if (cancel && cancel->load())
                return End::Cancelled;
            int running = 0;
            CURLMcode code = curl_multi_perform(m_multi, &running);
            if (code == CURLM_OK && running == 0)
                break;
            if (code == CURLM_OK)
                code = curl_multi_poll(m_multi, nullptr, 0, kPollIntervalMs, nullptr);
            if (code != CURLM_OK) {
                *broken = QString::fromUtf8(curl_multi_strerror(code));
                return End::Broken;
            }
        }
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy) {
                *result = message->data.result;
                return End::Done;
            }
        }
        *broken = QStringLiteral("libcurl ended the transfer without a result");
        return End::Broken;
    }

private:
    CURLM* m_multi;
    CURL* m_easy;
    bool m_added = false;
};

int duplicateFromStart(int fd)
{
    const int copy = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0 && ::lseek(copy, 0, SEEK_SET) != 0) {
        const int code = errno;
        ::close(copy);
        errno = code;
        return -1;
    }
    if (fd < 0)
        errno = ENOENT;
    return copy;
}

} // namespace

SourceDownload::SourceDownload(const QString& url, std::shared_ptr<const CacheFolder> cache)
    : SourceDownload(url, std::move(cache), Limits{})
{
}

SourceDownload::SourceDownload(const QString& url, std::shared_ptr<const CacheFolder> cache,
                               Limits limits)
    : m_url(url), m_shownUrl(shownUrl(url)), m_cache(std::move(cache)), m_limits(limits)
{
    if (!m_cache)
        m_cache = std::make_shared<CacheFolder>(QString());
    // Without the password: it must not reach a file, not even as a name.
    const QByteArray hash = QCryptographicHash::hash(m_shownUrl.toUtf8(), QCryptographicHash::Sha1);
    m_hash = QString::fromLatin1(hash.toHex());
}

SourceDownload::SourceDownload(const QString& url, const QString& cacheFolder)
    : SourceDownload(url, cacheFolder, Limits{})
{
}

SourceDownload::SourceDownload(const QString& url, const QString& cacheFolder, Limits limits)
    : SourceDownload(url, std::make_shared<CacheFolder>(cacheFolder), limits)
{
}

SourceDownload::~SourceDownload()
{
    discard();
}

QString SourceDownload::shownUrl(const QString& url)
{
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return url;
    const qsizetype authority = scheme + 3;
    qsizetype end = url.size();
    for (const QChar c : {u'/', u'?', u'#'}) {
        const qsizetype at = url.indexOf(c, authority);
        if (at >= 0)
            end = std::min(end, at);
    }
    const qsizetype at = end > authority ? url.lastIndexOf(u'@', end - 1) : -1;
    const qsizetype colon = url.indexOf(u':', authority);
    if (at < authority || colon < 0 || colon > at)
        return url;
    return url.left(colon + 1) + QStringLiteral("***") + url.mid(at);
}

QString SourceDownload::reason() const
{
    return m_reason;
}

QString SourceDownload::cachedFile() const
{
    return m_cache->filePath(m_hash + QStringLiteral(".xmltv"));
}

bool SourceDownload::hasCachedCopy() const
{
    return m_cache->isFile(m_hash + QStringLiteral(".xmltv"));
}

QString SourceDownload::pendingFile() const
{
    return m_pending;
}

int SourceDownload::openPending() const
{
    return duplicateFromStart(m_pendingFd);
}

int SourceDownload::openCached() const
{
    return m_cache->openForReading(m_hash + QStringLiteral(".xmltv"));
}

SourceDownload::Outcome SourceDownload::fetch(const std::atomic<bool>* cancel)
{
    discard();
    m_reason.clear();
    m_failure = Failure::None;
    m_failedStatus = 0;
    m_pendingValidators = {};

    const bool cached = hasCachedCopy();
    const Validators validators = cached ? cachedValidators() : Validators{};

    if (!createPending())
        return fail(
            QStringLiteral("could not create a file for the download: %1").arg(m_cacheProblem));

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
    transfer.fd = m_pendingFd;
    transfer.maxBytes = m_limits.maxBytes;
    transfer.stallTime = m_limits.stallTime;
    transfer.cancel = cancel;

    using std::chrono::milliseconds;
    const QByteArray url = m_url.toUtf8();
    const QByteArray caFile = QFile::encodeName(m_limits.caFile);
    // What was fetched over https is not followed to plain http, where anyone on the way could
    // change it.
    const bool secure = m_url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    char curlError[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, m_limits.maxRedirects);
    if (!caFile.isEmpty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.constData());
        curl_easy_setopt(handle, CURLOPT_CAPATH, nullptr);
    }
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
    CURLcode result = CURLE_OK;
    QString broken;
    MultiTransfer::End end = MultiTransfer::End::Done;
    {
        MultiTransfer multi(handle);
        end = multi.run(cancel, &result, &broken);
    }
    const Clock::duration elapsed = Clock::now() - started;

    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);

    if (transfer.cancelled || end == MultiTransfer::End::Cancelled)
        return fail(QStringLiteral("cancelled"));
    if (end == MultiTransfer::End::Broken)
        return fail(broken);
    if (transfer.tooLarge)
        return fail(QStringLiteral("larger than %1").arg(sizeText(m_limits.maxBytes)),
                    Failure::TooLarge);
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
        return fail(QStringLiteral("HTTP status %1").arg(status), Failure::HttpStatus, status);
    }

    const QString curlText =
        QString::fromUtf8(curlError[0] ? curlError : curl_easy_strerror(result)).trimmed();
    switch (result) {
    case CURLE_OPERATION_TIMEDOUT: {
        // The deadline and the connect timeout end alike; only the clock tells them apart: the
        // time spent is nearest to the one that ran out (curl may end it a moment early).
        const auto off = [elapsed](std::chrono::seconds limit) {
            return std::chrono::abs(elapsed - Clock::duration(limit));
        };
        if (off(m_limits.deadline) <= off(m_limits.connectTimeout))
            return fail(QStringLiteral("timed out after %1 s").arg(m_limits.deadline.count()));
        return fail(QStringLiteral("could not connect: timed out after %1 s")
                        .arg(m_limits.connectTimeout.count()),
                    Failure::CannotConnect);
    }
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return fail(QStringLiteral("could not connect: %1").arg(curlText), Failure::CannotConnect);
    case CURLE_UNSUPPORTED_PROTOCOL: {
        // A redirect that was not followed is where the transfer ended.
        const char* target = nullptr;
        curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &target);
        if (secure && target && qstrnicmp(target, "http:", 5) == 0)
            return fail(QStringLiteral("refused a redirect from https to http"));
        return fail(curlText);
    }
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

    QString problem;
    if (m_pendingOwned) {
        // One step replaces the old copy: there is always one to read.
        if (!m_cache->rename(m_pendingName, m_hash + QStringLiteral(".xmltv"), &problem))
            return refuse(problem);
        m_pending = cachedFile();
        m_pendingName.clear();
        m_pendingOwned = false;
    }

    QByteArray text = "url " + m_shownUrl.toUtf8() + '\n';
    if (!m_pendingValidators.etag.isEmpty())
        text += "etag " + m_pendingValidators.etag + '\n';
    if (!m_pendingValidators.lastModified.isEmpty())
        text += "last-modified " + m_pendingValidators.lastModified + '\n';
    const QString meta = m_hash + QStringLiteral(".meta");
    if (m_cache->writeFile(meta, text, &problem)) {
        discard();
        return true;
    }
    // The old validators would vouch for the new body.
    m_cache->remove(meta);
    return refuse(problem);
}

void SourceDownload::discard()
{
    if (m_pendingOwned) {
        if (!m_pendingName.isEmpty())
            m_cache->remove(m_pendingName);
        else
            ::unlink(QFile::encodeName(m_pending).constData());
    }
    if (m_pendingFd >= 0)
        ::close(m_pendingFd);
    m_pendingFd = -1;
    m_pending.clear();
    m_pendingName.clear();
    m_pendingOwned = false;
    m_cacheProblem.clear();
}

bool SourceDownload::createPending()
{
    m_pendingFd =
        m_cache->createPart(m_hash + QStringLiteral(".xmltv"), &m_pendingName, &m_cacheProblem);
    if (m_pendingFd >= 0) {
        m_pending = m_cache->filePath(m_pendingName);
        m_pendingOwned = true;
        return true;
    }
    m_pendingName.clear();
    // Still worth downloading: the listings can be served from memory. mkostemps() makes it
    // 0600 under a name nobody had.
    QByteArray name = QFile::encodeName(
        QDir(QDir::tempPath()).filePath(QStringLiteral("ekranik-portal-XXXXXX.part")));
    m_pendingFd = ::mkostemps(name.data(), 5, O_CLOEXEC);
    if (m_pendingFd < 0) {
        m_cacheProblem += QStringLiteral("; nor in %1: %2")
                              .arg(QDir::tempPath(), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_pending = QFile::decodeName(name);
    m_pendingOwned = true;
    return true;
}

SourceDownload::Validators SourceDownload::cachedValidators() const
{
    const int fd = m_cache->openForReading(m_hash + QStringLiteral(".meta"));
    if (fd < 0)
        return {};
    QFile meta;
    if (!meta.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    Validators validators;
    bool sameUrl = false;
    const QByteArray text = meta.read(kMaxMetaBytes + 1);
    if (text.size() > kMaxMetaBytes)
        return {};
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray& line : lines) {
        const qsizetype space = line.indexOf(' ');
        if (space < 0)
            continue;
        const QByteArray key = line.left(space);
        const QByteArray value = line.mid(space + 1);
        if (key == "url")
            sameUrl = value == m_shownUrl.toUtf8();
        else if (key == "etag")
            validators.etag = value;
        else if (key == "last-modified")
            validators.lastModified = value;
    }
    // Another url with the same hash, however unlikely, has nothing to say about this one.
    return sameUrl ? validators : Validators{};
}

SourceDownload::Outcome SourceDownload::fail(const QString& reason, Failure kind, long status)
{
    m_reason = reason;
    m_failure = kind;
    m_failedStatus = status;
    discard();
    return Outcome::Failed;
}
