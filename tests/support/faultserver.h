#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// A loopback HTTP server for tests whose answers are scripted byte by byte, so a client can be
// faced with missing lengths, short bodies, stalls and error statuses.
//
// It listens on 127.0.0.1 at a port the kernel picks and serves connections one after another
// on a single background thread. For each connection it reads one request (the head up to the
// blank line, then as many body bytes as its Content-Length says), records it, sends the
// current Reply and closes the connection. Every wait on that thread looks at a stop flag, so
// destroying the server returns promptly even in the middle of a paused or stalled reply.
class FaultServer {
public:
    // What the server answers. The head goes out verbatim, then the body.
    struct Reply {
        QByteArray head{}; // e.g. "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n"
        QByteArray body{};
        int chunkSize = 0;       // 0: the body in one send; > 0: in pieces of this many bytes
        int pauseMs = 0;         // pause between two body pieces
        int sendOnly = -1;       // >= 0: only the first sendOnly body bytes are sent
        bool stallAfter = false; // after sending, keep the connection open and silent until
                                 // releaseStalls(), the client hanging up or destruction
    };

    // Throws std::system_error when the listening socket cannot be set up.
    FaultServer();
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    quint16 port() const;
    // "http://127.0.0.1:<port>" followed by pathAndQuery (which starts with '/').
    QByteArray url(const QByteArray& pathAndQuery) const;

    // The reply for connections whose request is complete from now on. Until the first call the
    // server answers okHead(0) with no body.
    void setReply(const Reply& reply);
    // Ends the stall of every reply whose request was recorded before this call.
    void releaseStalls();

    // Every complete request so far, raw head and body, in arrival order. A connection that
    // ends before its request is complete is neither recorded nor answered.
    QList<QByteArray> requests() const;
    int requestCount() const;
    // Waits until at least n requests are recorded; false when timeoutMs passed first.
    bool waitForRequests(int n, int timeoutMs) const;

    // "HTTP/1.0 200 OK\r\nContent-Length: <contentLength>\r\n\r\n"
    static QByteArray okHead(qint64 contentLength);
    // "HTTP/1.0 <status> <reason>\r\n\r\n"
    static QByteArray headWithoutLength(int status = 200);
    // "HTTP/1.0 <status> <reason>\r\nContent-Length: <contentLength>\r\n\r\n"; a negative
    // contentLength leaves the Content-Length line out. The reason is "OK", "Not Found" or
    // "Internal Server Error" for 200, 404 and 500, else "Status".
    static QByteArray statusHead(int status, qint64 contentLength);

    // A port on 127.0.0.1 where nothing listens: one the kernel just handed out and took back.
    static quint16 refusedPort();

private:
    void run();
    void serve(int fd);
    bool readRequest(int fd, QByteArray& request) const;
    bool sendReply(int fd, const Reply& reply);
    bool sendAll(int fd, const char* data, qsizetype size) const;
    bool pause(int ms);
    void stall(int fd, std::uint64_t releaseMark);

    int m_listenFd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_requestAdded;
    std::condition_variable m_wake; // stop and releaseStalls()
    QList<QByteArray> m_requests;
    Reply m_reply;
    std::uint64_t m_releases = 0;
    std::thread m_thread;
};

// The value of the first header called name (compared case-insensitively) in the head of a raw
// request, trimmed; a null QByteArray when there is no such header, an empty non-null one when
// the header is present but empty.
QByteArray headerValue(const QByteArray& request, const QByteArray& name);

// The first line of a raw request, without its line break.
QByteArray requestLine(const QByteArray& request);
