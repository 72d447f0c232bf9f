#include "net/httpfetchthread.h"

#include "net/httpfetch.h"
#include "net/parseurl.h"

#include <QSaveFile>
#include <climits>
#include <memory>

namespace {

// Pieces of the body are at most this big: one progress report each.
constexpr long kChunkSize = 1025;
// A portal that does not answer must not hold the update queue for long.
constexpr long kConnectTimeoutSeconds = 15;
// Below one byte a second for half a minute, the transfer is given up.
constexpr long kLowSpeedBytes = 1;
constexpr long kLowSpeedSeconds = 30;
constexpr long kMaxRedirects = 10;

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
template <class T> using CurlPtr = std::unique_ptr<T, CurlDeleter>;

bool isSuccessStatus(long status)
{
    return status >= 200 && status <= 299;
}

// The address libcurl is to fetch, built from the program's own way of reading it, with the
// object passed on byte for byte. Empty when there is nothing to connect to, or when the host
// part would smuggle in user information.
QByteArray buildURL(const QByteArray& address)
{
    const ParsedURL parsed = ParseURL(address);
    if (parsed.host.isEmpty() || parsed.host.contains('@'))
        return {};
    return parsed.scheme + "://" + parsed.host + ':' + QByteArray::number(parsed.port) +
           parsed.object;
}

} // namespace

HttpFetchThread::HttpFetchThread(HttpFetch* owner, DownloadSettings settings)
    : m_owner(owner), m_settings(std::move(settings))
{
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void HttpFetchThread::run()
{
    // A download cancelled before it began sends nothing at all.
    const bool transferred = !m_stop && transfer();
    const int size = static_cast<int>(m_total);
    if (m_detached)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, transferred, size] {
            // Read on the GUI thread: a cancel that came in while the last report was being
            // handled still turns the download into a failure.
            if (m_owner)
                m_owner->deliverCompletion(this, transferred && !m_stop, m_settings.fileName, size);
        },
        Qt::BlockingQueuedConnection);
}

bool HttpFetchThread::transfer()
{
    const QByteArray url = buildURL(m_settings.url);
    if (url.isEmpty())
        return false;

    // The body goes to a temporary file beside the target; the old page stays as it was
    // unless the whole new one has arrived.
    QSaveFile file(m_settings.fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    m_file = &file;

    CurlPtr<CURL> curl(curl_easy_init());
    if (!curl)
        return false;
    m_curl = curl.get();
    CURL* c = curl.get();

    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    // The portal's addresses begin "/.?": sent as they are, not tidied to "/?".
    curl_easy_setopt(c, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kChunkSize);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
    // One byte every 20 s passes the low-speed limit; the deadline still ends it.
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(m_settings.deadline.count()));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &HttpFetchThread::onWrite);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &HttpFetchThread::onTransferInfo);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);

    if (!m_settings.agent.isEmpty())
        curl_easy_setopt(c, CURLOPT_USERAGENT, m_settings.agent.constData());
    if (!m_settings.referer.isEmpty())
        curl_easy_setopt(c, CURLOPT_REFERER, m_settings.referer.constData());
    if (!m_settings.userName.isEmpty() || !m_settings.password.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(c, CURLOPT_USERNAME, m_settings.userName.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, m_settings.password.constData());
    }

    // One accept entry; "Accept:" alone takes libcurl's default away.
    const QByteArray accept = m_settings.acceptTypes.isEmpty()
                                  ? QByteArray("Accept:")
                                  : "Accept: " + m_settings.acceptTypes;
    curl_slist* headers = curl_slist_append(nullptr, accept.constData());
    if (!m_settings.acceptLanguage.isEmpty())
        headers = curl_slist_append(headers,
                                    ("Accept-Language: " + m_settings.acceptLanguage).constData());
    if (!m_settings.useCache) {
        headers = curl_slist_append(headers, "Pragma: no-cache");
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
    }
    if (!m_settings.postQuery.isEmpty()) {
        headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(m_settings.postQuery.size()));
        curl_easy_setopt(c, CURLOPT_COPYPOSTFIELDS, m_settings.postQuery.constData());
    }
    CurlPtr<curl_slist> headerList(headers);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);

    const CURLcode result = curl_easy_perform(c);
    // A reply without a body never reached the write callback: judge it here.
    const bool accepted = result == CURLE_OK && !m_stop && (m_replyChecked || acceptReply());
    m_curl = nullptr;
    m_file = nullptr;
    if (!accepted)
        return false;

    curl_off_t length = -1;
    curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    // With a length, every byte of it; without one, only an empty body counts as complete.
    const bool complete = length >= 0 ? m_readed == length : m_readed == 0;
    return complete && file.flush() && file.commit();
}

// Called once the reply's head is in: decides whether its body is wanted at all.
bool HttpFetchThread::acceptReply()
{
    m_replyChecked = true;
    long status = 0;
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
    if (!isSuccessStatus(status))
        return false;
    curl_off_t length = -1;
    curl_easy_getinfo(m_curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length < 0 && m_settings.binaryData)
        return false;
    if (length > INT_MAX) // the lengths the program reports are 32-bit
        return false;
    m_total = std::max<curl_off_t>(length, 0);
    return true;
}

size_t HttpFetchThread::write(const char* data, size_t size)
{
    if (m_stop || (!m_replyChecked && !acceptReply()))
        return 0; // anything but size aborts the transfer
    if (m_file->write(data, static_cast<qint64>(size)) != static_cast<qint64>(size))
        return 0;
    m_readed += static_cast<qint64>(size);
    if (m_readed > INT_MAX)
        return 0;
    if (m_settings.reportProgress && !m_detached) {
        const int total = static_cast<int>(m_total);
        const int readed = static_cast<int>(m_readed);
        QMetaObject::invokeMethod(
            this,
            [this, total, readed] {
                if (m_owner)
                    m_owner->deliverProgress(this, total, readed);
            },
            Qt::BlockingQueuedConnection);
    }
    return size;
}

size_t HttpFetchThread::onWrite(char* data, size_t size, size_t count, void* self)
{
    return static_cast<HttpFetchThread*>(self)->write(data, size * count);
}

// libcurl calls this often, and about once a second while nothing arrives: the place where
// a cancel stops a stalled transfer.
int HttpFetchThread::onTransferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<HttpFetchThread*>(self)->m_stop ? 1 : 0;
}
