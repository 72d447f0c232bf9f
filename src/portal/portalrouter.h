#pragma once

#include "portal/caching.h"
#include "portal/catalogue.h"
#include "portal/listings.h"
#include "portal/sourceproblem.h"
#include "portal/stationmap.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

// The portal's router: turns a request target and the catalogue into an answer, with Qt Core
// only and no sockets (PortalServer puts it on the network). The two forms of a station's
// page address (see parseListingRequest) give the page of the station's channel for the day
// (see listingPage), an unknown station or address a 404 page and a malformed request a 400
// page; "/" is the front page, in Polish or English as the request's Accept-Language asks
// (see frontLanguage), and "/stations.txt" the station list (see frontPage and stationsFile);
// "/channels.json" the channel list, its problems' reasons in the front page's language (see
// channelsJson). Until the first listings are in, every page but the channel list is a 503
// with Retry-After.
//
// Answers never wait on building: what depends only on the listings and the minute (the
// station list, the front page) is built when the listings come, on the thread that brings
// them, and at each minute's start on a thread of its own; a station's page is built once and
// kept until its next programme starts (see answerOrDefer). Safe from any thread.
//
// Caches may keep a station's page until its next programme starts or midnight, at most five
// minutes; the front page until the minute ends; the station list and the channel list a
// minute; a 404 a minute; nothing else. What a cache asks again with, the entity tag, is the
// same wherever the same listings are served in the same minute.
class PortalRouter {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        const char* type = "text/html; charset=iso-8859-2";
        // For a 503: when to ask again, in seconds.
        int retryAfter = 0;
        // How long caches may keep it, and what they ask again with.
        Freshness freshness;
        // The body follows the request's Accept-Language: caches keep one for each (Vary).
        bool byLanguage = false;
    };
    using Clock = std::function<QDateTime()>;

    // How long a client is asked to wait while the first listings are read.
    static constexpr int kRetryAfterSeconds = 5;

    // The error page of a status, which no cache keeps.
    static Reply errorReply(int status, const QString& reason, int retryAfter = 0);

    // clock gives "now" for every page (the current local time when empty). Pages are a 503
    // until replaceListings() brings the first listings.
    explicit PortalRouter(StationMap stations, Clock clock = {});
    ~PortalRouter();
    PortalRouter(const PortalRouter&) = delete;
    PortalRouter& operator=(const PortalRouter&) = delete;

    // Answers with these listings from now on, once the pages made of them are built (on the
    // caller's thread). Answers being made finish with the listings they started with.
    void replaceListings(Listings listings);
    // What is served; null before the first listings.
    std::shared_ptr<const Catalogue> catalogue() const;
    // The sources that could not be read the last time they were, for /channels.json.
    void setProblems(QList<SourceProblem> problems);
    // The first reading failed: /channels.json says "failed" (not "reading") until listings
    // come.
    void setFirstReadingFailed();

    // The address ("HOST:PORT") the station lines name when a request's Host header is empty
    // or not a plain host and port. Set before answering.
    void setOwnAddress(const QByteArray& hostPort) { m_ownAddress = hostPort; }

    // The answer to a request target ("/program.html?T%5Bstation%5D=1"). host is the request's
    // Host header, which the station lines name; acceptLanguage its Accept-Language header,
    // which the language of the front page and of /channels.json's reasons follows.
    Reply answer(std::string_view target, std::string_view host = {},
                 std::string_view acceptLanguage = {}) const;
    // The same, or none when that needs a station page built that is not kept yet: answer()
    // builds it, best on another thread than the one that serves.
    std::optional<Reply> answerOrDefer(std::string_view target, std::string_view host,
                                       std::string_view acceptLanguage = {}) const;

private:
    class StationPages;
    struct Pages;

    std::optional<Reply> answer(std::string_view target, std::string_view host,
                                std::string_view acceptLanguage, bool mayBuild) const;
    QDateTime now() const;
    static qint64 minuteOf(const QDateTime& time);
    std::shared_ptr<const Pages> pages() const;
    // Builds the pages of a catalogue (or of none yet) for the minute of now; what does not
    // change with the minute is taken from earlier pages of the same catalogue. The problems and
    // the state of the reading come from `state`. Called under m_buildMutex.
    std::shared_ptr<const Pages> build(std::shared_ptr<const Catalogue> catalogue,
                                       const Pages* earlier, const Pages& state) const;
    // Serves the current pages with another state of the reading.
    void restate(QList<SourceProblem> problems, bool firstReadingFailed);
    // The builder's thread: the front page again at the start of every minute.
    void buildEveryMinute();

    StationMap m_stations;
    Clock m_clock;
    QByteArray m_ownAddress = "127.0.0.1";
    mutable std::mutex m_mutex;
    std::shared_ptr<const Pages> m_pages; // under m_mutex
    // One build at a time, so that none is served over a newer one.
    std::mutex m_buildMutex;
    std::thread m_builder;
    mutable std::condition_variable m_builderWake;
    // Both under m_mutex.
    bool m_stopping = false;
    mutable bool m_rebuildAsked = false;
};

// The sentence of an error page of that status, in Polish.
QString statusReason(int status);
