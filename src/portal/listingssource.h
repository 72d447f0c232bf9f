#pragma once

#include "portal/boundedinput.h"
#include "portal/listings.h"
#include "portal/sourceproblem.h"

#include <QString>
#include <atomic>
#include <memory>
#include <optional>

class CacheFolder;
class SourceDownload;

// The most bytes a source may bring, read as they come and once unpacked.
constexpr qint64 kMaxListingsBytes = 512LL << 20;

// Reads a listings file, plain, gzip- or xz-compressed (told apart by its first bytes, whatever
// its name), in the given language. sourceName is what messages call it. Any kind of file will do
// (a pipe, /dev/stdin...): past maxBytes read, or unpacked, the reading fails ("it is larger than
// 512 MiB"), and it ends at once when *cancel is set ("cancelled"). A regular file is read whole
// or not at all: when it changed while it was read, it is read again after a pause, and when it
// keeps changing the reading fails ("it kept changing while being read"). Listings without a
// single channel fail too ("it has no channels"): nothing could be served from them. readAs,
// when given, is set to the file as it was read; problem, on failure, to what the user is told.
std::optional<Listings> readListingsFile(const QString& path, const QString& sourceName,
                                         const QString& lang, QString* error,
                                         const std::atomic<bool>* cancel = nullptr,
                                         qint64 maxBytes = kMaxListingsBytes,
                                         BoundedInput::Stamp* readAs = nullptr,
                                         SourceProblem* problem = nullptr);

// One source of listings the portal serves: a file, or an http/https address whose download is
// cached on disk. Loaded again on every refresh; used by one thread at a time. It may bring at
// most maxBytes, downloaded, read and unpacked.
class ListingsSource {
public:
    ListingsSource(const QString& source, std::shared_ptr<const CacheFolder> cache,
                   const QString& lang, qint64 maxBytes = kMaxListingsBytes);
    ~ListingsSource();
    ListingsSource(const ListingsSource&) = delete;
    ListingsSource& operator=(const ListingsSource&) = delete;

    static bool isUrl(const QString& source);

    // What messages call it: an address with its password replaced by "***".
    const QString& name() const { return m_name; }
    bool isUrl() const { return m_download != nullptr; }

    struct Result {
        enum class Kind { Read, Unchanged, Failed };
        Kind kind = Kind::Failed;
        std::optional<Listings> listings; // for Read
        QString error;                    // for Failed, and a remark for Read (e.g. not cached)
        SourceProblem problem;            // for Failed
    };

    // Reads the source anew: a file when it changed since it was last read, an address by a
    // conditional request. Unchanged when there is nothing new to read. cancel, set from another
    // thread, ends a reading or a download at once (Failed).
    Result load(const std::atomic<bool>* cancel = nullptr);
    // For an address: the copy kept in the cache from an earlier run, if any.
    Result loadCached(const std::atomic<bool>* cancel = nullptr);

private:
    // Reads a download's body from a descriptor, taken over.
    Result readDownload(int fd, const std::atomic<bool>* cancel);
    // What the user is told of the last failed download.
    SourceProblem downloadProblem() const;

    QString m_source;
    QString m_name;
    QString m_lang;
    qint64 m_maxBytes;
    std::unique_ptr<SourceDownload> m_download;
    // The file as it was when it was last read well.
    std::optional<BoundedInput::Stamp> m_readAs;
    bool m_everRead = false;
};
