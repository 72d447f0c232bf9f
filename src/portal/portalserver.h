#pragma once

#include "portal/listings.h"
#include "portal/stationmap.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>
#include <string_view>

namespace httplib {
class Server;
}

// The listings portal: answers the two forms of a station's page address (see
// parseListingRequest) with the page of the station's channel for the day (see listingPage),
// a 404 page for an unknown station or address and a 400 page for a malformed request. Every
// answer carries Content-Length; HTTP/1.0 and 1.1 clients are served, several at once, by a
// pool of threads.
class PortalServer {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
    };
    using Clock = std::function<QDateTime()>;
    using Log = std::function<void(const QByteArray& line)>;

    // clock gives "now" for every page (the current local time when empty). log receives one
    // line a request: time, client address, request line, status, body length, user agent.
    PortalServer(Listings listings, StationMap stations, Clock clock = {}, Log log = {});
    ~PortalServer();
    PortalServer(const PortalServer&) = delete;
    PortalServer& operator=(const PortalServer&) = delete;

    // The answer to a request target ("/program.html?T%5Bstation%5D=1"), without sockets.
    Reply answer(std::string_view target) const;

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
    Listings m_listings;
    StationMap m_stations;
    Clock m_clock;
    Log m_log;
    std::unique_ptr<httplib::Server> m_server;
};
