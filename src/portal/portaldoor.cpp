#include "portal/portaldoor.h"

#include "portal/listingpage.h"
#include "portal/portalrouter.h"
#include "portal/requesthead.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <unistd.h>

namespace {

// How long, and for how many bytes, a refused connection is read and the bytes dropped after
// its answer, so that closing it does not reset it before the client has read the answer.
constexpr std::chrono::milliseconds kDrainTime{1000};
constexpr std::size_t kDrainBytes = 256 * 1024;

} // namespace

std::string addressKey(const sockaddr* address)
{
    if (address && address->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        return std::string(reinterpret_cast<const char*>(&in->sin_addr), sizeof in->sin_addr);
    }
    if (address && address->sa_family == AF_INET6) {
        const auto* in = reinterpret_cast<const sockaddr_in6*>(address);
        return std::string(reinterpret_cast<const char*>(&in->sin6_addr), sizeof in->sin6_addr);
    }
    return {};
}

QByteArray addressText(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = "-";
    if (address && address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    else if (address && address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    return text;
}

bool isTrustedProxy(const PortalLimits& limits, const std::string& key)
{
    return std::find(limits.trustedProxies.begin(), limits.trustedProxies.end(), key) !=
           limits.trustedProxies.end();
}

std::optional<std::string> addressKeyOf(std::string_view text)
{
    const std::string address(text);
    in_addr v4{};
    if (::inet_pton(AF_INET, address.c_str(), &v4) == 1)
        return std::string(reinterpret_cast<const char*>(&v4), sizeof v4);
    in6_addr v6{};
    if (::inet_pton(AF_INET6, address.c_str(), &v6) == 1)
        return std::string(reinterpret_cast<const char*>(&v6), sizeof v6);
    return std::nullopt;
}

QByteArray forwardedClient(const PortalLimits& limits, const std::string& peerKey,
                           const QByteArray& peerText, std::string_view forwardedFor)
{
    if (!isTrustedProxy(limits, peerKey))
        return peerText;
    // Each proxy appends the address it was reached from: the last one that is not a trusted
    // proxy's is the client's. Anything that is not an address ends the walk.
    QByteArray client = peerText;
    std::size_t end = forwardedFor.size();
    while (end > 0) {
        const std::size_t comma = forwardedFor.rfind(',', end - 1);
        const std::size_t start = comma == std::string_view::npos ? 0 : comma + 1;
        std::string_view entry = forwardedFor.substr(start, end - start);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.remove_suffix(1);
        const std::optional<std::string> key = addressKeyOf(entry);
        if (!key)
            break;
        client = QByteArray(entry.data(), qsizetype(entry.size()));
        if (!isTrustedProxy(limits, *key))
            break;
        if (comma == std::string_view::npos)
            break;
        end = comma;
    }
    return client;
}

PortalDoor::PortalDoor(int loop, const PortalLimits& limits, unsigned maxConnections,
                       HandOver handOver, Log log)
    : m_loop(loop), m_limits(limits), m_maxConnections(maxConnections),
      m_handOver(std::move(handOver)), m_log(std::move(log))
{
}

PortalDoor::~PortalDoor()
{
    for (auto& [socket, newcomer] : m_newcomers)
        ::close(socket);
}

void PortalDoor::acceptAll(int listenSocket)
{
    for (;;) {
        Newcomer newcomer;
        newcomer.addressLength = sizeof newcomer.address;
        newcomer.socket = ::accept4(listenSocket, reinterpret_cast<sockaddr*>(&newcomer.address),
                                    &newcomer.addressLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (newcomer.socket < 0)
            return; // none left, or out of files: the rest wait in the backlog
        newcomer.key = addressKey(reinterpret_cast<const sockaddr*>(&newcomer.address));
        // Past a limit the connection is closed at once, unanswered: an answer would cost
        // what the limit is there to save.
        unsigned& fromAddress = m_byAddress[newcomer.key];
        const bool overAddressLimit = m_limits.perAddress != 0 &&
                                      fromAddress >= m_limits.perAddress &&
                                      !isTrustedProxy(m_limits, newcomer.key);
        if (m_open >= m_maxConnections || overAddressLimit) {
            if (fromAddress == 0)
                m_byAddress.erase(newcomer.key);
            ::close(newcomer.socket);
            continue;
        }
        ++fromAddress;
        ++m_open;
        newcomer.deadline = Clock::now() + m_limits.headDeadline;
        newcomer.order = m_waiting.insert(m_waiting.end(), newcomer.socket);
        epoll_event watched{};
        watched.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        watched.data.fd = newcomer.socket;
        ::epoll_ctl(m_loop, EPOLL_CTL_ADD, newcomer.socket, &watched);
        Newcomer& kept = m_newcomers.emplace(newcomer.socket, newcomer).first->second;
        // A client usually sends its request with the connection: no need to wait for it.
        examine(kept, false);
    }
}

void PortalDoor::event(int fd, bool ended)
{
    Newcomer& newcomer = m_newcomers.at(fd);
    if (newcomer.draining)
        drain(newcomer);
    else
        examine(newcomer, ended);
}

void PortalDoor::examine(Newcomer& newcomer, bool ended)
{
    // The head stays in the socket until the library reads it: only a look here.
    char bytes[kMaxRequestHead + 1];
    const ssize_t n = ::recv(newcomer.socket, bytes, sizeof bytes, MSG_PEEK);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0)
        return drop(newcomer);
    const std::string_view seen(bytes, std::size_t(n));
    const std::size_t end = headEnd(seen);
    if (end != std::string_view::npos) {
        const int status = headRefusal(seen.substr(0, end));
        return status == 0 ? handOver(newcomer) : refuse(newcomer, status, seen.substr(0, end));
    }
    if (seen.size() > kMaxRequestHead) {
        // Past the longest head: a request line this long has a target too long.
        const bool lineEnded = seen.find('\n') != std::string_view::npos;
        const std::size_t space = seen.find(' ');
        const bool lineBegun = space != std::string_view::npos && isToken(seen.substr(0, space));
        refuse(newcomer, lineEnded ? 431 : lineBegun ? 414 : 400, seen);
    } else if (ended) {
        drop(newcomer); // gone before its head was all in
    }
}

void PortalDoor::refuse(Newcomer& newcomer, int status, std::string_view head)
{
    const RequestLine line = requestLine(head);
    const QByteArray body = errorPage(status, statusReason(status));
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' +
                        MHD_get_reason_phrase_for(unsigned(status)) +
                        "\r\nConnection: close\r\nContent-Type: " + PortalRouter::Reply().type +
                        "\r\n";
    if (status == 405)
        answer += "Allow: GET, HEAD\r\n";
    answer += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    if (line.method != "HEAD")
        answer += body;
    // A new connection has room in its send buffer for a page this short.
    [[maybe_unused]] const ssize_t sent =
        ::send(newcomer.socket, answer.constData(), std::size_t(answer.size()), MSG_NOSIGNAL);
    if (m_log) {
        const QByteArray agent = headerValue(head, "User-Agent");
        m_log(requestLogLine(addressText(reinterpret_cast<const sockaddr*>(&newcomer.address)),
                             line, status, body.size(),
                             std::string_view(agent.constData(), size_t(agent.size()))));
    }
    ::shutdown(newcomer.socket, SHUT_WR);
    m_waiting.erase(newcomer.order);
    newcomer.draining = true;
    newcomer.deadline = Clock::now() + kDrainTime;
    newcomer.order = m_draining.insert(m_draining.end(), newcomer.socket);
    drain(newcomer);
}

void PortalDoor::drain(Newcomer& newcomer)
{
    char dropped[16384];
    for (;;) {
        const ssize_t n = ::recv(newcomer.socket, dropped, sizeof dropped, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0 || (newcomer.drained += std::size_t(n)) > kDrainBytes)
            return drop(newcomer);
    }
}

void PortalDoor::handOver(Newcomer& newcomer)
{
    ::epoll_ctl(m_loop, EPOLL_CTL_DEL, newcomer.socket, nullptr);
    m_waiting.erase(newcomer.order);
    const Newcomer handed = newcomer;
    m_newcomers.erase(handed.socket);
    if (!m_handOver(handed.socket, reinterpret_cast<const sockaddr*>(&handed.address),
                    handed.addressLength))
        release(handed.key);
}

void PortalDoor::drop(Newcomer& newcomer)
{
    const int socket = newcomer.socket;
    (newcomer.draining ? m_draining : m_waiting).erase(newcomer.order);
    release(newcomer.key);
    m_newcomers.erase(socket);
    ::close(socket); // leaves the event loop with it
}

void PortalDoor::release(const std::string& address)
{
    --m_open;
    const auto counted = m_byAddress.find(address);
    if (counted != m_byAddress.end() && --counted->second == 0)
        m_byAddress.erase(counted);
}

PortalDoor::Clock::time_point PortalDoor::keepDeadlines(Clock::time_point now)
{
    Clock::time_point next = Clock::time_point::max();
    // Those whose head is overdue, and the refused ones drained long enough.
    for (std::list<int>* order : {&m_waiting, &m_draining}) {
        while (!order->empty()) {
            Newcomer& oldest = m_newcomers.at(order->front());
            if (oldest.deadline > now) {
                next = std::min(next, oldest.deadline);
                break;
            }
            drop(oldest);
        }
    }
    return next;
}
