#include "support/faultserver.h"

#include <QTest>
#include <arpa/inet.h>
#include <cerrno>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

Q_DECLARE_METATYPE(FaultServer::Reply)

namespace {

const QByteArray kGet = "GET /listing?day=1 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";

// A plain blocking client socket on 127.0.0.1. Reads give up after a generous guard, only so a
// broken server fails the test instead of hanging it.
class Client {
public:
    explicit Client(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval guard{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &guard, sizeof guard);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0)
            m_error = errno;
    }
    ~Client() { ::close(m_fd); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // The errno of a failed connect, 0 when connected.
    int error() const { return m_error; }
    bool sawEof() const { return m_eof; }

    bool send(const QByteArray& data)
    {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t sent =
                ::send(m_fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            done += sent;
        }
        return true;
    }

    // n bytes, or fewer when the server closed first.
    QByteArray read(qsizetype n)
    {
        QByteArray data;
        char buffer[65536];
        while (data.size() < n) {
            const ssize_t got =
                ::recv(m_fd, buffer, size_t(qMin<qsizetype>(n - data.size(), sizeof buffer)), 0);
            if (got <= 0) {
                m_eof = got == 0;
                break;
            }
            data.append(buffer, got);
        }
        return data;
    }

    // Everything until the server closes; sawEof() tells whether the close came.
    QByteArray readToEnd() { return read(std::numeric_limits<qsizetype>::max()); }

    // True when neither bytes nor the end of the stream arrive within ms.
    bool quietFor(int ms)
    {
        pollfd entry{m_fd, POLLIN, 0};
        return ::poll(&entry, 1, ms) == 0;
    }

    // The request, then the whole reply up to the server's close.
    QByteArray exchange(const QByteArray& request)
    {
        return send(request) ? readToEnd() : QByteArray();
    }

private:
    int m_fd = -1;
    int m_error = 0;
    bool m_eof = false;
};

QByteArray bytePattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('a' + i * 7 % 26);
    return bytes;
}

} // namespace

class TestFaultServer : public QObject {
    Q_OBJECT

private slots:
    void heads()
    {
        QCOMPARE(FaultServer::okHead(5),
                 QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n"));
        QCOMPARE(FaultServer::headWithoutLength(), QByteArray("HTTP/1.0 200 OK\r\n\r\n"));
        QCOMPARE(FaultServer::headWithoutLength(404), QByteArray("HTTP/1.0 404 Not Found\r\n\r\n"));
        QCOMPARE(FaultServer::statusHead(500, 0),
                 QByteArray("HTTP/1.0 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n"));
        QCOMPARE(FaultServer::statusHead(302, 12),
                 QByteArray("HTTP/1.0 302 Status\r\nContent-Length: 12\r\n\r\n"));
    }

    void requestHelpers()
    {
        const QByteArray request = "POST /save HTTP/1.1\r\nHost: 127.0.0.1:80\r\n"
                                   "user-AGENT:   ekranik 0.9 \r\nX-Empty:\r\n\r\nX-Body: 1";
        QCOMPARE(requestLine(request), QByteArray("POST /save HTTP/1.1"));
        QCOMPARE(requestLine("GET / HTTP/1.0"), QByteArray("GET / HTTP/1.0"));
        QCOMPARE(headerValue(request, "User-Agent"), QByteArray("ekranik 0.9"));
        QCOMPARE(headerValue(request, "host"), QByteArray("127.0.0.1:80"));
        QVERIFY(headerValue(request, "X-Empty").isEmpty());
        QVERIFY(!headerValue(request, "X-Empty").isNull());
        QVERIFY(headerValue(request, "Accept").isNull());
        QVERIFY(headerValue(request, "X-Body").isNull()); // body text is no header
        QVERIFY(headerValue(request, "POST /save HTTP/1.1").isNull());
    }

    void recordsRequestsByteForByte()
    {
        FaultServer server;
        QCOMPARE(server.url("/a?b=c"),
                 "http://127.0.0.1:" + QByteArray::number(server.port()) + "/a?b=c");
        QVERIFY(!server.waitForRequests(1, 50));

        // A head that arrives in fragments, the blank line split across them; the reply before
        // any setReply() is an empty 200.
        {
            Client client(server.port());
            QVERIFY(client.send(kGet.left(10)));
            QVERIFY(client.quietFor(50));
            QVERIFY(client.send(kGet.mid(10, kGet.size() - 12)));
            QVERIFY(client.quietFor(50));
            QVERIFY(client.send(kGet.right(2)));
            QCOMPARE(client.readToEnd(), FaultServer::okHead(0));
            QVERIFY(client.sawEof());
        }
        // A connection that ends within its head is neither recorded nor answered.
        {
            Client client(server.port());
            QVERIFY(client.send("GET /half HT"));
        }
        // A body exactly as long as the declared length (name in any case), even when it holds
        // a blank line itself and the client sends more after it.
        const QByteArray post = "POST /form HTTP/1.0\r\ncontent-LENGTH: 11\r\n\r\na=1\r\n\r\nb=22";
        {
            Client client(server.port());
            QVERIFY(client.send(post + "EXTRA"));
            QVERIFY(server.waitForRequests(2, 10000));
        }
        QCOMPARE(server.requests(), (QList<QByteArray>{kGet, post}));
        QCOMPARE(server.requestCount(), 2);
        QCOMPARE(requestLine(server.requests().at(1)), QByteArray("POST /form HTTP/1.0"));
    }

    void replyArrivesComplete_data()
    {
        QTest::addColumn<FaultServer::Reply>("reply");
        const QByteArray big = bytePattern(200000);
        const QByteArray small = bytePattern(25);
        QTest::newRow("one send") << FaultServer::Reply{.head = FaultServer::okHead(big.size()),
                                                        .body = big};
        QTest::newRow("pieces, no length") << FaultServer::Reply{
            .head = FaultServer::headWithoutLength(), .body = big, .chunkSize = 1000};
        QTest::newRow("uneven pieces with pauses")
            << FaultServer::Reply{.head = FaultServer::okHead(small.size()),
                                  .body = small,
                                  .chunkSize = 7,
                                  .pauseMs = 30};
        QTest::newRow("error status, byte by byte") << FaultServer::Reply{
            .head = FaultServer::statusHead(404, 7), .body = "missing", .chunkSize = 1};
        QTest::newRow("no body") << FaultServer::Reply{
            .head = FaultServer::statusHead(500, 0), .body = {}, .chunkSize = 3};
        QTest::newRow("bare bytes") << FaultServer::Reply{.head = "garbage"};
    }

    void replyArrivesComplete()
    {
        QFETCH(FaultServer::Reply, reply);
        FaultServer server;
        server.setReply(reply);
        Client client(server.port());
        QCOMPARE(client.exchange(kGet), reply.head + reply.body);
        QVERIFY(client.sawEof());
    }

    void sendOnlyClosesEarly_data()
    {
        QTest::addColumn<int>("sendOnly");
        QTest::addColumn<int>("chunkSize");
        QTest::addColumn<int>("expected");
        QTest::newRow("nothing of the body") << 0 << 0 << 0;
        QTest::newRow("part") << 3 << 0 << 3;
        QTest::newRow("part in pieces") << 7 << 2 << 7;
        QTest::newRow("all of it") << 10 << 0 << 10;
        QTest::newRow("more than there is") << 50 << 4 << 10;
    }

    void sendOnlyClosesEarly()
    {
        QFETCH(int, sendOnly);
        QFETCH(int, chunkSize);
        QFETCH(int, expected);
        const QByteArray body = "0123456789";
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(body.size()),
                         .body = body,
                         .chunkSize = chunkSize,
                         .sendOnly = sendOnly});
        Client client(server.port());
        QCOMPARE(client.exchange(kGet), FaultServer::okHead(body.size()) + body.left(expected));
        QVERIFY(client.sawEof());
    }

    void stallKeepsConnectionOpen_data()
    {
        QTest::addColumn<FaultServer::Reply>("reply");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("within the body") << FaultServer::Reply{.head = FaultServer::okHead(10),
                                                               .body = "0123456789",
                                                               .sendOnly = 4,
                                                               .stallAfter = true}
                                         << FaultServer::okHead(10) + "0123";
        QTest::newRow("whole body, no length")
            << FaultServer::Reply{.head = FaultServer::headWithoutLength(),
                                  .body = "0123456789",
                                  .stallAfter = true}
            << FaultServer::headWithoutLength() + "0123456789";
        QTest::newRow("before the head")
            << FaultServer::Reply{.head = {}, .body = "x", .sendOnly = 0, .stallAfter = true}
            << QByteArray();
    }

    void stallKeepsConnectionOpen()
    {
        QFETCH(FaultServer::Reply, reply);
        QFETCH(QByteArray, sent);
        FaultServer server;
        server.setReply(reply);

        // Released by releaseStalls().
        {
            Client client(server.port());
            QVERIFY(client.send(kGet));
            QCOMPARE(client.read(sent.size()), sent);
            QVERIFY(server.waitForRequests(1, 10000));
            QVERIFY(client.quietFor(200));
            QVERIFY(!client.sawEof());
            server.releaseStalls();
            QCOMPARE(client.readToEnd(), QByteArray());
            QVERIFY(client.sawEof());
        }
        // Ended by the client hanging up, after which the next connection is served.
        {
            Client client(server.port());
            QVERIFY(client.send(kGet));
            QCOMPARE(client.read(sent.size()), sent);
            QVERIFY(server.waitForRequests(2, 10000));
        }
        server.setReply({.head = FaultServer::okHead(2), .body = "ok"});
        Client next(server.port());
        QCOMPARE(next.exchange(kGet), FaultServer::okHead(2) + "ok");
        QVERIFY(next.sawEof());
        QCOMPARE(server.requestCount(), 3);
    }

    void refusedPortRefuses()
    {
        const quint16 port = FaultServer::refusedPort();
        QVERIFY(port != 0);
        Client client(port);
        QCOMPARE(client.error(), ECONNREFUSED);
    }

    // Each of these replies would keep the server busy for an hour or for good; destruction
    // must cut it short and close the connection.
    void destructionEndsReplies_data()
    {
        QTest::addColumn<FaultServer::Reply>("reply");
        QTest::addColumn<int>("readFirst");
        QTest::addColumn<int>("expectedSize"); // -1: any part of the reply
        const QByteArray head = FaultServer::okHead(10);
        QTest::newRow("stalled") << FaultServer::Reply{.head = head,
                                                       .body = "0123456789",
                                                       .sendOnly = 4,
                                                       .stallAfter = true}
                                 << int(head.size() + 4) << int(head.size() + 4);
        QTest::newRow("pausing") << FaultServer::Reply{.head = head,
                                                       .body = "0123456789",
                                                       .chunkSize = 4,
                                                       .pauseMs = 3600000}
                                 << int(head.size() + 4) << int(head.size() + 4);
        const QByteArray huge = bytePattern(64 << 20);
        QTest::newRow("client not reading")
            << FaultServer::Reply{.head = FaultServer::okHead(huge.size()), .body = huge}
            << int(FaultServer::okHead(huge.size()).size()) << -1;
    }

    void destructionEndsReplies()
    {
        QFETCH(FaultServer::Reply, reply);
        QFETCH(int, readFirst);
        QFETCH(int, expectedSize);
        auto server = std::make_unique<FaultServer>();
        server->setReply(reply);
        Client client(server->port());
        QVERIFY(client.send(kGet));
        QByteArray received = client.read(readFirst);
        QCOMPARE(received.size(), readFirst);
        server.reset();
        received += client.readToEnd();
        QVERIFY(client.sawEof());
        const QByteArray whole = reply.head + reply.body;
        QVERIFY(whole.startsWith(received));
        QVERIFY(received.size() < whole.size());
        if (expectedSize >= 0)
            QCOMPARE(received.size(), expectedSize);
    }
};

QTEST_GUILESS_MAIN(TestFaultServer)
#include "tst_faultserver.moc"
