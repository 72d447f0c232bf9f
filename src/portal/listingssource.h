#pragma once

#include "portal/listings.h"

#include <QDateTime>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>

class SourceDownload;

// The most XMLTV a source may hold once unpacked.
constexpr qint64 kMaxListingsBytes = 512LL << 20;

// Reads a listings file, plain or gzip-compressed (told apart by its first bytes, whatever its
// name), in the given language. sourceName is what messages call it.
std::optional<Listings> readListingsFile(const QString& path, const QString& sourceName,
                                         const QString& lang, QString* error);

// One source of listings the portal serves: a file, or an http/https address whose download is
// cached on disk. Loaded again on every refresh; used by one thread at a time.
class ListingsSource {
public:
    ListingsSource(const QString& source, const QString& cacheFolder, const QString& lang);
    ~ListingsSource();
    ListingsSource(const ListingsSource&) = delete;
    ListingsSource& operator=(const ListingsSource&) = delete;

    static bool isUrl(const QString& source);

    const QString& name() const { return m_source; }
    bool isUrl() const { return m_download != nullptr; }

    struct Result {
        enum class Kind { Read, Unchanged, Failed };
        Kind kind = Kind::Failed;
        std::optional<Listings> listings; // for Read
        QString error;                    // for Failed, and a remark for Read (e.g. not cached)
    };

    // Reads the source anew: a file when it changed since it was last read, an address by a
    // conditional request. Unchanged when there is nothing new to read.
    Result load(const std::atomic<bool>* cancel = nullptr);
    // For an address: the copy kept in the cache from an earlier run, if any.
    Result loadCached();

private:
    Result readFile(const QString& path);

    QString m_source;
    QString m_lang;
    std::unique_ptr<SourceDownload> m_download;
    // What the file looked like when it was last read.
    QDateTime m_readModified;
    qint64 m_readSize = -1;
    bool m_everRead = false;
};
