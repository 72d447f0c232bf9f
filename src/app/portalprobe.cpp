#include "app/portalprobe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback connection is taken or refused at once; the wait only covers a listener whose
// queue is full, and it runs on the GUI thread, so it is short.
constexpr int kConnectTimeoutMs = 500;

bool connects(const sockaddr* address, socklen_t length)
{
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool connected = ::connect(fd, address, length) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd waiting{fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        connected = ::poll(&waiting, 1, kConnectTimeoutMs) == 1 &&
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    ::close(fd);
    return connected;
}

bool connectsV4(const QByteArray& host, int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    return ::inet_pton(AF_INET, host.constData(), &address.sin_addr) == 1 &&
           connects(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

bool connectsV6(const QByteArray& host, int port)
{
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(quint16(port));
    return ::inet_pton(AF_INET6, host.constData(), &address.sin6_addr) == 1 &&
           connects(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

} // namespace

bool answersOnThisMachine(const PortalChoice& portal)
{
    if (!portal.loopback)
        return false;
    if (portal.host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return connectsV4("127.0.0.1", portal.port) || connectsV6("::1", portal.port);
    const QByteArray host = portal.host.toLatin1();
    return host.contains(':') ? connectsV6(host, portal.port) : connectsV4(host, portal.port);
}
