#pragma once

#include "portal/listings.h"
#include "portal/listingssource.h"
#include "portal/sourceproblem.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CacheFolder;

// Keeps the listings of every source fresh. Each source is read again every `refresh`, and all
// of them at once when asked (SIGHUP), on a thread of its own, so serving never waits for a
// source. Whenever a source brings new listings, the listings of all sources, merged in the
// order the sources were given (the first to have a channel's programmes wins), go to
// `publish` whole. A source that fails keeps its last good listings; it is tried again after a
// minute, then after twice as long each time, up to an hour (or `refresh`, when shorter). What
// went wrong with each source the last time it was read is kept for the user (problems()); a
// reading that works clears it.
class Reloader {
public:
    using Clock = std::chrono::steady_clock;

    struct Options {
        std::chrono::milliseconds refresh = std::chrono::hours(6);
        std::chrono::milliseconds firstRetry = std::chrono::minutes(1);
        std::chrono::milliseconds longestRetry = std::chrono::hours(1);
        // Where downloaded sources are kept: opened once for all of them, and not used when it
        // is not the user's own or others may write to it (see CacheFolder).
        QString cacheFolder;
        // The language of the titles and names to show.
        QString lang = QStringLiteral("pl");
        // Move the listings to today, keeping their times of day (demo listings).
        bool moveToToday = false;
        // The most a source may bring, downloaded, read and unpacked.
        qint64 maxBytes = kMaxListingsBytes;
    };
    using Publish = std::function<void(Listings)>;
    using Problems = std::function<void(QList<SourceProblem>)>;
    using Log = std::function<void(const QString& line)>;

    Reloader(const QStringList& sources, const Options& options, Log log = {});
    ~Reloader();
    Reloader(const Reloader&) = delete;
    Reloader& operator=(const Reloader&) = delete;

    // The first reading, on the caller's thread. A file that cannot be read fails it: false,
    // with error naming the first such file and the line; the other sources are read all the
    // same, so that problems() names every one that fails. An address that cannot be downloaded
    // does not: its cached copy is served, or nothing, and it is tried again soon. An address with
    // a cached copy serves that copy first and asks the server for news at once, in the background.
    // stop(), from another thread, ends it at once: false, error "stopped".
    bool loadFirst(QString* error);
    // The listings of all sources as they stand.
    Listings merged() const;
    // The sources that failed the last time they were read, in the order they were given.
    QList<SourceProblem> problems() const;

    // Starts reading on schedule; publish runs on the reloading thread, and so does problems,
    // whenever what problems() gives changed, before publish. Does nothing once stop() was
    // called.
    void start(Publish publish, Problems problems = {});
    // Reads every source again now. Safe from any thread, a signal-waiting one included.
    void reloadNow();
    // Ends the reloading thread and cuts short any reading or download, loadFirst()'s on
    // another thread included. Safe from any thread, before or after start(); called by the
    // destructor.
    void stop();

private:
    struct Source;

    void run();
    // Reads one source; true when it brought new listings.
    bool reload(Source& source);
    void failed(Source& source, const QString& error);
    void logRead(const Source& source, const Listings& listings, const QString& remark) const;
    void log(const QString& line) const;

    Options m_options;
    Log m_log;
    std::shared_ptr<const CacheFolder> m_cache;
    std::vector<std::unique_ptr<Source>> m_sources;
    Publish m_publish;
    Problems m_problems;
    std::thread m_thread; // started and taken under m_mutex
    std::mutex m_mutex;
    std::condition_variable m_wake;
    // Guards each source's last listings, which merged() reads from any thread.
    mutable std::mutex m_listingsMutex;
    bool m_reloadAll = false;
    bool m_stopping = false;
    std::atomic<bool> m_cancel{false};
};
