#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <memory>

class QFile;

// A source of listings at an http or https address, downloaded into a cache folder so that a
// restart without network still has the last listings. CACHE/<hex sha1 of the url>.xmltv holds
// the body as received (possibly gzip: the reader recognises it), and .meta beside it the url
// and the validators (ETag, Last-Modified) as text lines: "url URL", "etag VALUE",
// "last-modified VALUE", the values as the server sent them.
//
// Uses libcurl's easy interface, one handle per fetch, so sources may be fetched on different
// threads at once; one object is used by one thread at a time. curl_global_init() is the
// caller's job, before any fetch.
class SourceDownload {
public:
    struct Limits {
        qint64 maxBytes = 512LL << 20;      // body bytes; past it the download fails
        std::chrono::seconds deadline{600}; // whole transfer
        std::chrono::seconds connectTimeout{30};
        std::chrono::seconds stallTime{60}; // fails when under 1 KiB/s for this long
        long maxRedirects = 10;
    };
    enum class Outcome { Downloaded, NotModified, Failed };

    // Two constructors, not a default argument: Limits{} is not usable inside this class yet.
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
    // "could not connect: ...", curl's text otherwise). cancel, when given and set from another
    // thread, ends the transfer soon (Failed, "cancelled").
    Outcome fetch(const std::atomic<bool>* cancel = nullptr);
    QString reason() const;

    QString cachedFile() const; // may not exist
    bool hasCachedCopy() const;
    // Empty when nothing is pending. Outside the cache folder when that could not be written.
    QString pendingFile() const;
    // Makes the pending body the cached copy (rename, then the .meta written with QSaveFile).
    // False with error set when the cache folder refuses it; the pending file then stays
    // readable until the next fetch, discard or destruction.
    bool keep(QString* error);
    void discard(); // removes the pending body, as destruction does

private:
    struct Validators {
        QByteArray etag;
        QByteArray lastModified;
    };
    std::unique_ptr<QFile> openPending();
    Validators cachedValidators() const;
    QString metaFile() const;
    Outcome fail(const QString& reason);

    QString m_url;
    QString m_cacheFolder;
    QString m_base; // cache folder + hash, without the suffix
    Limits m_limits;
    QString m_reason;
    QString m_pending;
    bool m_pendingOwned = false; // false once the body went to cachedFile() but its meta did not
    QString m_cacheProblem;      // why the pending body is not in the cache folder
    Validators m_pendingValidators;
};
