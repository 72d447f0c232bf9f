#pragma once

#include "portal/catalogue.h"
#include "portal/listings.h"
#include "portal/stationmap.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

struct MHD_Daemon;
struct MHD_Connection;

// What one client may hold of the portal (see PortalServer).
struct PortalLimits {
    // Open connections in all (fewer when the process may not open that many files).
    unsigned connections = 2048;
    // Open connections from one client address.
    unsigned perAddress = 64;
    // From a connection's start, or the end of its previous answer, to the end of the
    // request head.
    std::chrono::milliseconds headDeadline{10000};
    // How long a connection may stay silent.
    unsigned idleSeconds = 5;
};

// The listings portal: answers the two forms of a station's page address (see
// parseListingRequest) with the page of the station's channel for the day (see listingPage),
// a 404 page for an unknown station or address and a 400 page for a malformed request; "/" is
// the front page and "/stations.txt" the station list (see frontPage and stationsFile). Every
// answer carries Content-Length; HTTP/1.0 and 1.1 clients are served, pipelined requests in
// order. Only GET and HEAD are served: another method gets a 405 and a head past 8 KiB a 431,
// without the rest of the request being read.
//
// One thread serves every connection from an event loop, so a client that holds a connection
// open costs a few kilobytes and no thread. What a client may hold is bounded: connections in
// all and from one address, the time to send a whole request head (a client that trickles it
// byte by byte is cut off all the same), the idle time of a kept-alive connection, and the
// memory of each connection.
class PortalServer {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        const char* type = "text/html; charset=iso-8859-2";
    };
    using Clock = std::function<QDateTime()>;
    using Log = std::function<void(const QByteArray& line)>;

    using Limits = PortalLimits;

    // The longest request head served.
    static constexpr std::size_t kMaxHead = 8192;

    // clock gives "now" for every page (the current local time when empty). log receives one
    // line a request: time, client address, request line, status, body length, user agent.
    PortalServer(Listings listings, StationMap stations, Clock clock = {}, Log log = {},
                 Limits limits = {});
    ~PortalServer();
    PortalServer(const PortalServer&) = delete;
    PortalServer& operator=(const PortalServer&) = delete;

    // The answer to a request target ("/program.html?T%5Bstation%5D=1"), without sockets. host
    // is the request's Host header, which the station lines name (the portal's own address
    // when it is empty or not a plain host and port).
    Reply answer(std::string_view target, std::string_view host = {}) const;

    // Serves these listings from now on, with the same station map. The requests being
    // answered finish with the listings they started with. Safe from any thread.
    void replaceListings(Listings listings);
    std::shared_ptr<const Catalogue> catalogue() const;

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
    struct Callbacks;
    struct Newcomer;
    struct Door;

    // The door: connections are accepted here, held to the limits, and handed to the library
    // once their first request head is all in and well-formed; anything else is answered here.
    void acceptAll();
    // ended: the client has sent all it will.
    void examine(Newcomer& newcomer, bool ended);
    void refuse(Newcomer& newcomer, int status, std::string_view head);
    void drain(Newcomer& newcomer);
    void handOver(Newcomer& newcomer);
    void drop(Newcomer& newcomer);
    void release(const std::string& address);

    // Answers a request whose head is in; false when the answer could not be queued.
    bool respond(MHD_Connection* connection, const std::string& target, const char* method,
                 const char* version, int status);
    void awaitHead(Connection& connection);
    void headArrived(Connection& connection);
    // Cuts off the connections whose head is overdue and ends the drained ones; returns the
    // milliseconds to the next deadline, or -1 when there is none.
    int keepDeadlines();

    mutable std::mutex m_catalogueMutex;
    std::shared_ptr<const Catalogue> m_catalogue;
    // "HOST:PORT" the portal listens on, as a client would write it.
    QByteArray m_ownAddress = "127.0.0.1";
    Clock m_clock;
    Log m_log;
    Limits m_limits;
    unsigned m_maxConnections = 0;
    int m_listenSocket = -1;
    int m_wakeUp = -1;
    int m_loop = -1;
    MHD_Daemon* m_daemon = nullptr;
    std::unique_ptr<Door> m_door;
    // Connections awaiting a request head, the longest waiting first.
    std::list<Connection*> m_awaitingHead;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_servingMutex;
    mutable std::condition_variable m_servingChanged;
    bool m_serving = false;
};
