#pragma once

#include "portal/portallimits.h"

#include <QByteArray>
#include <chrono>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unordered_map>

// The portal's door: connections are accepted here and held to the limits (connections in all
// and from one address, the time to send a whole first request head), and handed on once their
// first head is all in and well-formed; anything else is answered here, with the connection
// closed after it. The head stays in the socket for whoever takes the connection: the door only
// looks. The door counts every connection until release(), also those it handed on.
//
// Used on the serving thread only, with that thread's event loop (an epoll descriptor), in
// which it watches the connections it holds.
class PortalDoor {
public:
    using Clock = std::chrono::steady_clock;
    // Takes a connection whose first head is in; false when it cannot (it has then closed the
    // socket, and the connection is released).
    using HandOver = std::function<bool(int socket, const sockaddr* address, socklen_t length)>;
    using Log = std::function<void(const QByteArray& line)>;

    PortalDoor(int loop, const PortalLimits& limits, unsigned maxConnections, HandOver handOver,
               Log log);
    ~PortalDoor(); // closes what it still holds
    PortalDoor(const PortalDoor&) = delete;
    PortalDoor& operator=(const PortalDoor&) = delete;

    // Accepts every connection waiting on the listening socket.
    void acceptAll(int listenSocket);
    // Whether the descriptor is a connection the door holds; then what the loop saw on it.
    bool holds(int fd) const { return m_newcomers.count(fd) != 0; }
    void event(int fd, bool ended);
    // Ends what is overdue; the next deadline, or Clock::time_point::max().
    Clock::time_point keepDeadlines(Clock::time_point now);
    // A connection handed on has ended.
    void release(const std::string& address);

private:
    // A connection until its first head is all in, or while the rest of it is drained after
    // its refusal.
    struct Newcomer {
        int socket = -1;
        sockaddr_storage address{};
        socklen_t addressLength = 0;
        std::string key; // addressKey()
        Clock::time_point deadline;
        // Refused: what it still sends is read and dropped until it ends, or for a while.
        bool draining = false;
        std::size_t drained = 0;
        std::list<int>::iterator order; // in m_waiting or m_draining
    };

    // ended: the client has sent all it will.
    void examine(Newcomer& newcomer, bool ended);
    void refuse(Newcomer& newcomer, int status, std::string_view head);
    void drain(Newcomer& newcomer);
    void handOver(Newcomer& newcomer);
    void drop(Newcomer& newcomer);

    int m_loop;
    PortalLimits m_limits;
    unsigned m_maxConnections;
    HandOver m_handOver;
    Log m_log;
    std::unordered_map<int, Newcomer> m_newcomers;
    // Sockets of the newcomers in the order of their deadlines.
    std::list<int> m_waiting;
    std::list<int> m_draining;
    // Open connections, here and handed on, in all and by address.
    unsigned m_open = 0;
    std::unordered_map<std::string, unsigned> m_byAddress;
};

// A client address as a key for counting its connections.
std::string addressKey(const sockaddr* address);
// A client address as the log writes it.
QByteArray addressText(const sockaddr* address);
// An address written out ("192.0.2.1", "2001:db8::1") as addressKey() gives it; nothing for
// anything else.
std::optional<std::string> addressKeyOf(std::string_view text);
// Whether the address (as addressKey() gives it) is one of the trusted proxies.
bool isTrustedProxy(const PortalLimits& limits, const std::string& key);
// The client a request comes from, for the log: the peer itself, unless the peer is a trusted
// proxy, when it is the client that X-Forwarded-For names last before the trusted proxies.
QByteArray forwardedClient(const PortalLimits& limits, const std::string& peerKey,
                           const QByteArray& peerText, std::string_view forwardedFor);
