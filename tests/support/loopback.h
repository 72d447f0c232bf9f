#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

// Plain sockets on 127.0.0.1, for tests of programs that serve there.

// A socket listening on 127.0.0.1 at a port the system chose; closed when it goes.
class LoopbackListener {
public:
    LoopbackListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_fd, 8) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return;
        m_port = ntohs(address.sin_port);
    }
    ~LoopbackListener()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    // 0 when no socket could be made.
    quint16 port() const { return m_port; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

// A port nothing listens on now (it was free a moment ago).
inline quint16 freeLoopbackPort()
{
    return LoopbackListener().port();
}

// An HTTP/1.0 GET of `target` at 127.0.0.1:port: the whole answer, head and body; empty when
// nothing answers. Waits at most 10 s for each piece.
inline QByteArray loopbackGet(quint16 port, const QByteArray& target)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    const timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    QByteArray answer;
    const QByteArray request =
        "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n\r\n";
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        char chunk[16384];
        ssize_t got;
        while ((got = ::recv(fd, chunk, sizeof chunk, 0)) > 0)
            answer.append(chunk, got);
    }
    ::close(fd);
    return answer;
}
