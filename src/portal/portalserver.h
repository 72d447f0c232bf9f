#pragma once

#include "portal/portallimits.h"
#include "portal/portalrouter.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

class PortalDoor;
struct MHD_Daemon;
struct MHD_Connection;

// The listings portal on a socket: answers every request as PortalRouter does. Every answer
// carries Content-Length; HTTP/1.0 and 1.1 clients are served, pipelined requests in order.
// Only GET and HEAD are served: another method gets a 405 and a head past 8 KiB a 431, without
// the rest of the request being read; a head with control bytes gets a 400.
//
// One thread serves every connection from an event loop, so a client that holds a connection
// open costs a few kilobytes and no thread. What a client may hold is bounded: connections in
// all and from one address, the time to send a whole request head (a client that trickles it
// byte by byte is cut off all the same), the idle time of a kept-alive connection, and the
// memory of each connection. The serving thread builds nothing: a station page not built yet
// is built on a thread of the portal's own while its connection waits aside.
class PortalServer {
public:
    using Reply = PortalRouter::Reply;
    using Clock = PortalRouter::Clock;
    using Log = std::function<void(const QByteArray& line)>;

    using Limits = PortalLimits;

    // clock gives "now" for every page (the current local time when empty). log receives one
    // line a request: time, client address, request line, status, body length, user agent,
    // as the client sent them (the log's writer makes them safe to print).
    PortalServer(Listings listings, StationMap stations, Clock clock = {}, Log log = {},
                 Limits limits = {});
    // Without listings yet: pages are a 503 until replaceListings() brings the first.
    explicit PortalServer(StationMap stations, Clock clock = {}, Log log = {}, Limits limits = {});
    ~PortalServer();
    PortalServer(const PortalServer&) = delete;
    PortalServer& operator=(const PortalServer&) = delete;

    // The answer to a request target, without sockets (see PortalRouter::answer). Where the
    // Host header is empty or not a plain host and port, station lines name the portal's own
    // address.
    Reply answer(std::string_view target, std::string_view host = {}) const
    {
        return m_router.answer(target, host);
    }

    // Serves these listings from now on (see PortalRouter::replaceListings). Safe from any
    // thread.
    void replaceListings(Listings listings) { m_router.replaceListings(std::move(listings)); }
    // What is served; null before the first listings.
    std::shared_ptr<const Catalogue> catalogue() const { return m_router.catalogue(); }
    // What /channels.json tells of the reading (see PortalRouter). Safe from any thread.
    void setProblems(QList<SourceProblem> problems) { m_router.setProblems(std::move(problems)); }
    void setFirstReadingFailed() { m_router.setFirstReadingFailed(); }

    // Binds to the address and port; port 0 takes a free one. Returns the port, or -1.
    int bind(const QString& address, int port);
    // Serves on the bound socket until stop() is called from another thread. False when it
    // could not serve at all.
    bool serve();
    // Ends serve(); returns at once. Safe from any thread.
    void stop();
    // Blocks until serve() is running.
    void waitUntilServing() const;

private:
    struct Connection;
    // A request whose page is built on the page builder's thread, its connection set aside.
    struct PageJob {
        MHD_Connection* connection = nullptr;
        Connection* state = nullptr;
        std::string host;
    };
    struct Callbacks;

    // Answers a request whose head is in; false when the answer could not be queued.
    bool respond(MHD_Connection* connection, Connection& state, const char* method,
                 const char* version, int status);
    // The page builder's thread: builds the pages the serving thread set aside.
    void buildPages();
    // Wakes the serving thread's event loop.
    void wake();
    void awaitHead(Connection& connection);
    void headArrived(Connection& connection);
    // Cuts off the connections whose head is overdue and ends the drained ones; returns the
    // milliseconds to the next deadline, or -1 when there is none.
    int keepDeadlines();

    PortalRouter m_router;
    std::thread m_pageBuilder;
    std::mutex m_jobsMutex;
    std::condition_variable m_jobsWake;
    std::deque<PageJob> m_jobs;
    bool m_jobsStopping = false; // under m_jobsMutex
    Log m_log;
    Limits m_limits;
    unsigned m_maxConnections = 0;
    int m_listenSocket = -1;
    int m_wakeUp = -1;
    int m_loop = -1;
    MHD_Daemon* m_daemon = nullptr;
    // Where connections come in, before the library has them (see PortalDoor).
    std::unique_ptr<PortalDoor> m_door;
    // Connections awaiting a request head, the longest waiting first.
    std::list<Connection*> m_awaitingHead;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_servingMutex;
    mutable std::condition_variable m_servingChanged;
    bool m_serving = false;
};
