#include "support/faultserver.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace {

// How often the server thread looks at the stop flag while it waits for a socket.
constexpr int kPollMs = 20;

[[noreturn]] void throwErrno(int error, const char* what)
{
    throw std::system_error(error, std::generic_category(), what);
}

// 1 when fd is ready for events (or has an error or hang-up to report), 0 when timeoutMs passed
// or a signal came in, -1 when poll itself failed.
int pollOne(int fd, short events, int timeoutMs)
{
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    return ready;
}

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// The declared body length of a complete request head; 0 when absent or not a number.
qsizetype declaredLength(const QByteArray& head)
{
    bool ok = false;
    const qlonglong length = headerValue(head, "Content-Length").toLongLong(&ok);
    return ok && length > 0 ? qsizetype(length) : 0;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// Reads away whatever the client has already sent, so closing does not turn into a reset that
// could cost the client the end of the reply.
void discardPending(int fd)
{
    char buffer[4096];
    while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
}

sockaddr_in loopbackAddress(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

quint16 boundPort(int fd)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) < 0)
        return 0;
    return ntohs(address.sin_port);
}

// A non-blocking TCP socket bound to 127.0.0.1 at a port the kernel picks.
int bindLoopback()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throwErrno(errno, "socket");
    const sockaddr_in address = loopbackAddress(0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        const int error = errno;
        ::close(fd);
        throwErrno(error, "bind 127.0.0.1");
    }
    return fd;
}

} // namespace

FaultServer::FaultServer()
{
    m_reply.head = okHead(0);
    m_listenFd = bindLoopback();
    m_port = boundPort(m_listenFd);
    if (::listen(m_listenFd, 16) < 0 || m_port == 0) {
        const int error = errno;
        ::close(m_listenFd);
        throwErrno(error, "listen");
    }
    m_thread = std::thread(&FaultServer::run, this);
}

FaultServer::~FaultServer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    ::close(m_listenFd);
}

quint16 FaultServer::port() const
{
    return m_port;
}

QByteArray FaultServer::url(const QByteArray& pathAndQuery) const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port) + pathAndQuery;
}

void FaultServer::setReply(const Reply& reply)
{
    std::lock_guard lock(m_mutex);
    m_reply = reply;
}

void FaultServer::releaseStalls()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_releases;
    }
    m_wake.notify_all();
}

QList<QByteArray> FaultServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int FaultServer::requestCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_requests.size());
}

bool FaultServer::waitForRequests(int n, int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_requestAdded.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [&] { return m_requests.size() >= n; });
}

QByteArray FaultServer::okHead(qint64 contentLength)
{
    return statusHead(200, contentLength);
}

QByteArray FaultServer::headWithoutLength(int status)
{
    return statusHead(status, -1);
}

QByteArray FaultServer::statusHead(int status, qint64 contentLength)
{
    QByteArray head =
        "HTTP/1.0 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    if (contentLength >= 0)
        head += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    return head + "\r\n";
}

quint16 FaultServer::refusedPort()
{
    const int fd = bindLoopback();
    const quint16 port = boundPort(fd);
    ::close(fd);
    return port;
}

void FaultServer::run()
{
    while (!m_stop) {
        if (pollOne(m_listenFd, POLLIN, kPollMs) <= 0)
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        serve(fd);
        discardPending(fd);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

void FaultServer::serve(int fd)
{
    QByteArray request;
    if (!readRequest(fd, request))
        return;

    // The reply and the release count are taken together with recording the request, so a test
    // that has seen the request knows which reply it gets and that releaseStalls() reaches it.
    Reply reply;
    std::uint64_t releaseMark = 0;
    {
        std::lock_guard lock(m_mutex);
        m_requests.append(request);
        reply = m_reply;
        releaseMark = m_releases;
    }
    m_requestAdded.notify_all();

    if (sendReply(fd, reply) && reply.stallAfter)
        stall(fd, releaseMark);
}

bool FaultServer::readRequest(int fd, QByteArray& request) const
{
    QByteArray data;
    qsizetype total = -1; // head plus declared body, once the head is complete
    char buffer[4096];
    while (!m_stop) {
        if (total >= 0 && data.size() >= total) {
            request = data.left(total);
            return true;
        }
        const int ready = pollOne(fd, POLLIN, kPollMs);
        if (ready < 0)
            return false;
        if (ready == 0)
            continue;
        const ssize_t received = ::recv(fd, buffer, sizeof buffer, 0);
        if (received == 0)
            return false;
        if (received < 0) {
            if (wouldBlock(errno))
                continue;
            return false;
        }
        data.append(buffer, received);
        if (total < 0) {
            const qsizetype blank = data.indexOf("\r\n\r\n");
            if (blank >= 0)
                total = blank + 4 + declaredLength(data.left(blank + 4));
        }
    }
    return false;
}

bool FaultServer::sendReply(int fd, const Reply& reply)
{
    if (!sendAll(fd, reply.head.constData(), reply.head.size()))
        return false;
    qsizetype total = reply.body.size();
    if (reply.sendOnly >= 0)
        total = qMin(total, qsizetype(reply.sendOnly));
    const qsizetype piece = reply.chunkSize > 0 ? qsizetype(reply.chunkSize) : total;
    for (qsizetype at = 0; at < total; at += piece) {
        if (at > 0 && reply.pauseMs > 0 && !pause(reply.pauseMs))
            return false;
        if (!sendAll(fd, reply.body.constData() + at, qMin(piece, total - at)))
            return false;
    }
    return true;
}

bool FaultServer::sendAll(int fd, const char* data, qsizetype size) const
{
    while (size > 0) {
        if (m_stop)
            return false;
        const ssize_t sent = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            size -= sent;
        } else if (sent < 0 && wouldBlock(errno)) {
            // The client is not reading; wait for room, looking at the stop flag meanwhile.
            if (pollOne(fd, POLLOUT, kPollMs) < 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

bool FaultServer::pause(int ms)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
}

void FaultServer::stall(int fd, std::uint64_t releaseMark)
{
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_for(lock, std::chrono::milliseconds(kPollMs),
                                [&] { return m_stop || m_releases != releaseMark; }))
                return;
        }
        // A client that hangs up ends the stall too, so the next connection gets served.
        const int ready = pollOne(fd, POLLIN, 0);
        if (ready < 0)
            return;
        if (ready > 0) {
            char buffer[4096];
            const ssize_t received = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (received == 0 || (received < 0 && !wouldBlock(errno)))
                return;
        }
    }
}

QByteArray headerValue(const QByteArray& request, const QByteArray& name)
{
    const qsizetype blank = request.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = (blank < 0 ? request : request.left(blank)).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // line 0 is the request line
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QByteArray value = line.mid(colon + 1).trimmed(); // also drops the CR
        return value.isNull() ? QByteArray("") : value;
    }
    return QByteArray();
}

QByteArray requestLine(const QByteArray& request)
{
    const qsizetype end = request.indexOf('\n');
    QByteArray line = end < 0 ? request : request.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}
