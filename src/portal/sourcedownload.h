#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <memory>

class CacheFolder;

// A source of listings at an http or https address, downloaded into a cache folder so that a
// restart without network still has the last listings. In the cache folder (see CacheFolder),
// <hex sha1 of the shown url>.xmltv holds the body as received (possibly gzip: the reader
// recognises it), and .meta beside it the shown url and the validators (ETag, Last-Modified) as
// text lines: "url URL", "etag VALUE", "last-modified VALUE", the values as the server sent them.
// The shown url is the address with its password, if any, replaced by "***": no password is
// written to a file or a message. When the cache folder cannot be used, a download goes to a
// private temporary file and nothing is kept.
//
// Uses libcurl's multi interface, one handle per fetch, looking at the cancel flag at least
// every 100 ms, so sources may be fetched on different threads at once and any fetch can be
// cut short at once; one object is used by one thread at a time. curl_global_init() is the
// caller's job, before any fetch. An https source follows redirects only to https.
class SourceDownload {
public:
    struct Limits {
        qint64 maxBytes = 512LL << 20;      // body bytes; past it the download fails
        std::chrono::seconds deadline{600}; // whole transfer
        std::chrono::seconds connectTimeout{30};
        std::chrono::seconds stallTime{60}; // fails when under 1 KiB/s for this long
        long maxRedirects = 10;
        // When set, the certificate authorities in this PEM file are trusted instead of the
        // system's (tests use their own).
        QString caFile;
    };
    enum class Outcome { Downloaded, NotModified, Failed };

    // Two constructors each, not a default argument: Limits{} is not usable inside this class
    // yet. The cache folder is one several sources share, or a path opened for this one alone.
    SourceDownload(const QString& url, std::shared_ptr<const CacheFolder> cache);
    SourceDownload(const QString& url, std::shared_ptr<const CacheFolder> cache, Limits limits);
    SourceDownload(const QString& url, const QString& cacheFolder);
    SourceDownload(const QString& url, const QString& cacheFolder, Limits limits);
    ~SourceDownload();
    SourceDownload(const SourceDownload&) = delete;
    SourceDownload& operator=(const SourceDownload&) = delete;

    // Asks for the source: conditionally (If-None-Match / If-Modified-Since) when a cached copy
    // and its validators exist. A pending body left from the last fetch is discarded first.
    // Downloaded: the new body is in pendingFile(); NotModified: cachedFile() is current.
    // Failed: reason() says why in a short English sentence fragment ("HTTP status 404",
    // "timed out after 600 s", "stalled: under 1 KiB/s for 60 s", "larger than 512 MiB",
    // "could not connect: ...", "refused a redirect from https to http", curl's text
    // otherwise). cancel, when given and set from another thread, ends the transfer within a
    // fraction of a second, whatever it is waiting for (Failed, "cancelled").
    Outcome fetch(const std::atomic<bool>* cancel = nullptr);
    QString reason() const;
    // What kind of failure the last Failed fetch was, and the HTTP status of a HttpStatus one.
    enum class Failure { None, CannotConnect, HttpStatus, TooLarge, Other };
    Failure failure() const { return m_failure; }
    long failedStatus() const { return m_failedStatus; }

    // The address as messages show it: a password replaced by "***", the rest as written.
    static QString shownUrl(const QString& url);
    QString shownUrl() const { return m_shownUrl; }

    QString cachedFile() const; // may not exist
    bool hasCachedCopy() const;
    // Empty when nothing is pending. Outside the cache folder when that could not be used.
    QString pendingFile() const;
    // A new descriptor reading the pending body from its start, or the cached copy (never
    // through a symlink); -1 with errno set when there is none. The caller closes it.
    int openPending() const;
    int openCached() const;
    // Makes the pending body the cached copy (renamed into place, then the .meta written the
    // same way). False with error set when the cache folder refuses it; the pending body then
    // stays readable until the next fetch, discard or destruction.
    bool keep(QString* error);
    void discard(); // removes the pending body, as destruction does

private:
    struct Validators {
        QByteArray etag;
        QByteArray lastModified;
    };
    bool createPending();
    Validators cachedValidators() const;
    Outcome fail(const QString& reason, Failure kind = Failure::Other, long status = 0);

    QString m_url;
    QString m_shownUrl;
    std::shared_ptr<const CacheFolder> m_cache;
    QString m_hash; // the cache files' name without the suffix
    Limits m_limits;
    QString m_reason;
    Failure m_failure = Failure::None;
    long m_failedStatus = 0;
    // The pending body: its path, its name in the cache folder (empty for a temporary file
    // elsewhere) and a descriptor open on it, which holds its lock until it is kept or dropped.
    QString m_pending;
    QString m_pendingName;
    int m_pendingFd = -1;
    bool m_pendingOwned = false; // false once the body went to cachedFile() but its meta did not
    QString m_cacheProblem;      // why the pending body is not in the cache folder
    Validators m_pendingValidators;
};
