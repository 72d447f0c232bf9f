// The portal over real sockets: pages fetched by ekranik's own download component and read by
// its parser, bad requests answered and survived, HTTP/1.0 and 1.1, several clients at once,
// pipelined requests, clients that hold connections or send what is not served, and the
// program itself: refusing broken files, serving the listings of now.

#include "net/httpfetch.h"
#include "portal/caching.h"
#include "portal/portaldoor.h"
#include "portal/portalserver.h"
#include "portal/xmltvreader.h"
#include "portaltest.h"
#include "stations/stationentry.h"
#include "stations/stationfiles.h"
#include "stations/textfile.h"
#include "support/faultserver.h"
#include "text/win1250.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(EKRANIK_PORTAL_BIN);
const QByteArray kAsEkranik = "User-Agent: FlashGet\r\nAccept: */*\r\nPragma: no-cache\r\n"
                              "Cache-Control: no-cache\r\n\r\n";

const QByteArray kListings =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n"
    "<channel id=\"tvp1.pl\"><display-name>TVP 1</display-name></channel>\n"
    "<programme start=\"20261208183000 +0000\" channel=\"tvp1.pl\"><title>Wiadomości</title>"
    "</programme>\n"
    "<programme start=\"20261208191000 +0000\" stop=\"20261208201000 +0000\" channel=\"tvp1.pl\">"
    "<title lang=\"en\">Father Matthew</title><title lang=\"pl\">Ojciec Mateusz</title>"
    "<star-rating><value>3/5</value></star-rating><star-rating><value>9/10</value></star-rating>"
    "</programme>\n"
    "<programme start=\"20261208210000 +0200\" stop=\"20261208220000 +0200\" channel=\"mtv.de\">"
    "<title>Żółta łódź | Źródło</title></programme>\n"
    "</tv>\n";

struct Reply {
    int status = 0;
    QByteArray headers;
    QByteArray body;
    qsizetype contentLength = -1; // -1: no Content-Length
};

// A connection from the loopback address 127.0.0.host.
int connectTo(quint16 port, int host = 1)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + quint32(host));
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!bound || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendBytes(int fd, const QByteArray& bytes)
{
    return ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
}

// Reads one reply: the head, then as many body bytes as Content-Length says (or up to the end
// of the connection without one). What comes after stays in pending.
Reply readReply(int fd, QByteArray& pending)
{
    Reply reply;
    const auto fill = [&] {
        char chunk[16384];
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n > 0)
            pending.append(chunk, n);
        return n > 0;
    };
    qsizetype headEnd;
    while ((headEnd = pending.indexOf("\r\n\r\n")) < 0) {
        if (!fill())
            return reply;
    }
    reply.headers = pending.left(headEnd);
    pending.remove(0, headEnd + 4);
    reply.status = reply.headers.mid(9, 3).toInt();
    static const QRegularExpression kLength("^content-length:\\s*(\\d+)\\s*$",
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = kLength.match(QString::fromLatin1(reply.headers));
    if (m.hasMatch())
        reply.contentLength = m.captured(1).toLongLong();
    while (reply.contentLength < 0 || pending.size() < reply.contentLength) {
        if (!fill())
            break;
    }
    const qsizetype take = reply.contentLength < 0 ? pending.size() : reply.contentLength;
    reply.body = pending.left(take);
    pending.remove(0, take);
    return reply;
}

// One request on a connection of its own.
Reply exchangeOnce(quint16 port, const QByteArray& request)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return {};
    QByteArray pending;
    Reply reply;
    if (sendBytes(fd, request))
        reply = readReply(fd, pending);
    ::close(fd);
    return reply;
}

QByteArray Get(const QByteArray& target, const QByteArray& version = "HTTP/1.0")
{
    return "GET " + target + ' ' + version + "\r\n" + kAsEkranik;
}

// Whether the portal has ended the connection: it has, or it does when asked for a page once
// more (an open connection would answer).
bool endedByPortal(int fd)
{
    char byte;
    ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    if (n < 0 && errno == EAGAIN) {
        if (!sendBytes(fd, Get("/program.html?T%5Bstation%5D=1")))
            return true;
        n = ::recv(fd, &byte, 1, 0); // up to the receive timeout
    }
    return n == 0 || (n < 0 && errno != EAGAIN);
}

// Whether the connection is still open, with nothing to read.
bool heldOpen(int fd)
{
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN;
}

// The first text the pattern captures in a line the program writes to its standard output, or
// empty when it ends or writes none such within 30 s.
QString awaitLine(QProcess& program, const QString& pattern)
{
    const QRegularExpression expression(pattern);
    QByteArray written;
    for (QDeadlineTimer deadline(30000); !deadline.hasExpired();) {
        written += program.readAllStandardOutput();
        const QRegularExpressionMatch m = expression.match(QString::fromUtf8(written));
        if (m.hasMatch())
            return m.captured(1);
        if (!program.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    qWarning("no line \"%s\" in: %s", qPrintable(pattern), written.constData());
    return {};
}

// Downloads url as ekranik does into the file `station` in folder; the page on success.
std::optional<QByteArray> download(const QByteArray& url, const QString& folder,
                                   const QString& station)
{
    HttpFetch fetch;
    fetch.AcceptTypes = "*/*";
    fetch.Agent = "FlashGet";
    fetch.UseCache = false;
    fetch.WaitThread = true;
    fetch.URL = url;
    fetch.FileName = QDir(folder).filePath(station);
    QSignalSpy done(&fetch, &HttpFetch::OnDoneFile);
    fetch.DownloadFile();
    if (done.count() != 1)
        return std::nullopt;
    QFile file(fetch.FileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace

class TestPortalServer : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    std::unique_ptr<PortalServer> server;
    std::thread serving;
    quint16 port = 0;

    QByteArray url(const QByteArray& target) const
    {
        return "http://127.0.0.1:" + QByteArray::number(port) + target;
    }

private slots:
    void initTestCase()
    {
        HttpFetch::globalInit();
        QString error;
        std::optional<Listings> listings =
            readXmltv(writeFile(folder.path(), "listings.xml", kListings), &error);
        QVERIFY2(listings, qPrintable(error));
        StationMap stations;
        stations.insert(1, "tvp1.pl");
        stations.insert(219, "mtv.de");
        stations.insert(14, "hbo.pl");
        stations.insert(15, "trwa.gif"); // an id that is the on-air marker's text
        const QDateTime now = QDateTime::fromString("2026-12-08T20:30", Qt::ISODate);
        server =
            std::make_unique<PortalServer>(std::move(*listings), stations, [now] { return now; });
        const int bound = server->bind("127.0.0.1", 0);
        QVERIFY(bound > 0);
        port = static_cast<quint16>(bound);
        serving = std::thread([this] { server->serve(); });
        server->waitUntilServing();
    }

    void cleanupTestCase()
    {
        if (serving.joinable()) {
            server->stop();
            serving.join();
        }
    }

    // Both address forms of ekranik's list, fetched by its download component (HTTP/1.0, a
    // page counts only with a matching Content-Length) and read by its parser.
    void downloadedAndRead_data()
    {
        QTest::addColumn<QString>("station");
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QString>("shown");
        QTest::newRow("query form, a hit")
            << "tvp1.tv" << QByteArray("/.?&T%5Bstation%5D=1&T%5Bcategory%5D=ALL&T%5Btime%5D=0")
            << "tvp1.tv : [HIT] 20:10 - Ojciec Mateusz";
        QTest::newRow("page form, Polish letters and a pipe")
            << "mtv.deutsch.tv" << QByteArray("/program.html?T%5Bstation%5D=219")
            << "mtv.deutsch.tv : 20:00 - Żółta łódź / Źródło";
        QTest::newRow("channel without listings")
            << "hbo.tv" << QByteArray("/program.html?T%5Bstation%5D=14")
            << "hbo.tv : - brak informacji  - ";
        QTest::newRow("channel without listings, named like the marker")
            << "odd.tv" << QByteArray("/program.html?T%5Bstation%5D=15")
            << "odd.tv : - brak informacji  - ";
    }

    void downloadedAndRead()
    {
        QFETCH(QString, station);
        QFETCH(QByteArray, target);
        QFETCH(QString, shown);
        const std::optional<QByteArray> page = download(url(target), folder.path(), station);
        QVERIFY(page);
        QCOMPARE(win1250ToUnicode(nowPlayingOf(*page, station)), shown);
    }

    // Every answer has a Content-Length that matches its body, and the server goes on serving
    // after any of them.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::newRow("HTTP/1.0 page") << Get("/program.html?T%5Bstation%5D=1") << 200;
        QTest::newRow("HTTP/1.1 page")
            << QByteArray("GET /.?&T%5Bstation%5D=1 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                          "Connection: close\r\n\r\n")
            << 200;
        QTest::newRow("unknown station") << Get("/program.html?T%5Bstation%5D=7") << 404;
        QTest::newRow("unknown page") << Get("/index.html?T%5Bstation%5D=1") << 404;
        QTest::newRow("no station") << Get("/program.html") << 400;
        QTest::newRow("station not a number") << Get("/program.html?T%5Bstation%5D=x1") << 400;
        QTest::newRow("broken escape") << Get("/program.html?T%5Bstation%5D=%1") << 400;
        QTest::newRow("not HTTP") << QByteArray("Dzień dobry\r\n\r\n") << 400;
        QTest::newRow("unknown method")
            << QByteArray("FETCH /program.html HTTP/1.0\r\n\r\n") << 400;
        QTest::newRow("binary junk")
            << QByteArray("\x16\x03\x01\x02\x00\x01\x00\r\n\r\n", 12) << 400;
    }

    void answers()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        const Reply reply = exchangeOnce(port, request);
        QCOMPARE(reply.status, status);
        QVERIFY2(reply.contentLength >= 0, reply.headers.constData());
        QCOMPARE(reply.body.size(), reply.contentLength);
        QVERIFY(reply.body.startsWith("<html>"));

        const Reply next = exchangeOnce(port, Get("/program.html?T%5Bstation%5D=219"));
        QCOMPARE(next.status, 200);
        QVERIFY(next.body.contains("trwa.gif"));
    }

    void severalClientsAtOnce()
    {
        const QByteArray expected = server->answer("/program.html?T%5Bstation%5D=219").body;
        std::atomic<int> good{0};
        std::vector<std::thread> clients;
        constexpr int kClients = 12;
        constexpr int kRequests = 25;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&] {
                for (int r = 0; r < kRequests; ++r) {
                    const Reply reply = exchangeOnce(port, Get("/program.html?T%5Bstation%5D=219"));
                    if (reply.status == 200 && reply.body == expected)
                        ++good;
                }
            });
        }
        for (std::thread& client : clients)
            client.join();
        QCOMPARE(good.load(), kClients * kRequests);
    }

    // Every request of one write is answered, in order, on the one connection.
    void pipelined()
    {
        const QList<QByteArray> targets = {
            "/program.html?T%5Bstation%5D=1", "/program.html?T%5Bstation%5D=219",
            "/program.html?T%5Bstation%5D=7", "/.?&T%5Bstation%5D=14"};
        QByteArray requests;
        for (const QByteArray& target : targets)
            requests += "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                        (target == targets.last() ? "Connection: close\r\n\r\n" : "\r\n");
        const int fd = connectTo(port);
        const auto closing = qScopeGuard([fd] { ::close(fd); });
        QVERIFY(sendBytes(fd, requests));
        QByteArray pending;
        for (const QByteArray& target : targets) {
            const Reply reply = readReply(fd, pending);
            const PortalServer::Reply expected = server->answer(target.toStdString());
            QCOMPARE(reply.status, expected.status);
            QCOMPARE(reply.body, expected.body);
        }
        QVERIFY(endedByPortal(fd));
    }

    // What asks for anything but a page is refused at once, without its body or the rest of
    // its head being read, and its connection ends with the answer; so does an HTTP/1.0 one.
    void answerEndsConnection_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::newRow("POST of 1e11 bytes")
            << QByteArray("POST /program.html?T%5Bstation%5D=1 HTTP/1.1\r\nHost: a\r\n"
                          "Content-Length: 100000000000\r\n\r\n")
            << 405;
        QTest::newRow("OPTIONS") << QByteArray("OPTIONS * HTTP/1.1\r\nHost: a\r\n\r\n") << 405;
        QTest::newRow("head past 8 KiB")
            << "GET /program.html?T%5Bstation%5D=1 HTTP/1.1\r\nHost: a\r\n" +
                   QByteArray("X-Filler: 0123456789abcdef\r\n").repeated(320) + "\r\n"
            << 431;
        QTest::newRow("not HTTP") << QByteArray("Dzień dobry\r\n\r\n") << 400;
        QTest::newRow("unknown method")
            << QByteArray("FETCH /program.html HTTP/1.1\r\nHost: a\r\n\r\n") << 400;
        QTest::newRow("path too long, HTTP/1.0")
            << "GET /" + QByteArray(9000, 'a') + " HTTP/1.0\r\n\r\n"
            << 414;
        QTest::newRow("HTTP/1.0 page") << Get("/program.html?T%5Bstation%5D=1") << 200;
    }

    void answerEndsConnection()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        const int fd = connectTo(port);
        const auto closing = qScopeGuard([fd] { ::close(fd); });
        QVERIFY(sendBytes(fd, request));
        QByteArray pending;
        const Reply reply = readReply(fd, pending);
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.body.size(), reply.contentLength);
        QVERIFY(reply.body.startsWith("<html>"));
        if (status == 405)
            QVERIFY(reply.headers.contains("\r\nAllow: GET, HEAD"));
        QVERIFY(endedByPortal(fd));
    }

    // Clients that hold connections open, idle or sending a head a byte a second, keep no one
    // else waiting. One address gets 64 connections and no more; a head not in within its
    // deadline ends its connection unanswered.
    void heldConnections_data()
    {
        QTest::addColumn<int>("from"); // 127.0.0.from
        QTest::addColumn<int>("clients");
        QTest::addColumn<bool>("trickle");
        QTest::newRow("idle") << 2 << 64 << false;
        QTest::newRow("trickling their heads") << 3 << 10 << true;
    }

    void heldConnections()
    {
        QFETCH(int, from);
        QFETCH(int, clients);
        QFETCH(bool, trickle);
        std::vector<int> held;
        std::atomic<bool> trickling{trickle};
        std::thread sender;
        const auto ending = qScopeGuard([&] {
            trickling = false;
            if (sender.joinable())
                sender.join();
            for (const int fd : held)
                ::close(fd);
        });
        for (int c = 0; c < clients; ++c) {
            held.push_back(connectTo(port, from));
            QVERIFY(held.back() >= 0);
        }
        sender = std::thread([&] {
            const QByteArray head = "GET /program.html?T%5Bstation%5D=1 HTTP/1.1\r\nHost: a\r\n" +
                                    QByteArray("X-a: b\r\n").repeated(20) + "\r\n";
            for (qsizetype i = 0; i < head.size(); ++i) {
                for (int tick = 0; tick < 10; ++tick) {
                    if (!trickling)
                        return;
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
                for (const int fd : held)
                    ::send(fd, head.constData() + i, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            }
        });

        const Reply reply = exchangeOnce(port, Get("/program.html?T%5Bstation%5D=219"));
        QCOMPARE(reply.status, 200);
        QVERIFY(std::all_of(held.begin(), held.end(), heldOpen));
        if (!trickle) {
            const int extra = connectTo(port, from);
            QVERIFY(extra >= 0);
            const bool refused = endedByPortal(extra);
            ::close(extra);
            QVERIFY(refused);
            QVERIFY(std::all_of(held.begin(), held.end(), heldOpen));
            return;
        }
        int answered = 0;
        const auto cutOff = [&answered](int fd) {
            char byte;
            const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT);
            answered += n > 0;
            return n == 0 || (n < 0 && errno != EAGAIN);
        };
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(held.begin(), held.end(), cutOff), 30000);
        QCOMPARE(answered, 0);
    }

    // Behind a proxy: the proxy (127.0.0.2, trusted) holds as many connections as it needs
    // while a client on its own (127.0.0.3) holds two; the log names the client the proxy gives
    // in X-Forwarded-For, and what anyone else says there is not believed. With no limit per
    // address, one address holds more than the usual 64.
    void behindAProxy()
    {
        std::vector<QByteArray> logged;
        std::mutex logging;
        PortalServer::Limits limits;
        limits.perAddress = 2;
        limits.trustedProxies = {*addressKeyOf("127.0.0.2")};
        StationMap stations;
        stations.insert(1, "tvp1.pl");
        PortalServer portal(
            Listings(), stations, {},
            [&](const QByteArray& line) {
                const std::lock_guard<std::mutex> lock(logging);
                logged.push_back(line);
            },
            limits);
        const quint16 at = quint16(portal.bind("127.0.0.1", 0));
        std::thread serving([&portal] { portal.serve(); });
        std::vector<int> held;
        const auto stopping = qScopeGuard([&] {
            for (const int fd : held)
                ::close(fd);
            portal.stop();
            serving.join();
        });
        portal.waitUntilServing();
        for (int c = 0; c < 5; ++c)
            held.push_back(connectTo(at, 2));
        for (int c = 0; c < 2; ++c)
            held.push_back(connectTo(at, 3));
        const int extra = connectTo(at, 3);
        QVERIFY(endedByPortal(extra));
        ::close(extra);
        QVERIFY(std::all_of(held.begin(), held.end(), heldOpen));
        for (const int fd : held)
            ::close(fd);
        held.clear();

        // (The portal may not have seen the connections above close yet: it is asked again.)
        const auto clientLogged = [&](int from, const QByteArray& forwardedFor) {
            const QDeadlineTimer deadline(10000);
            for (int status = 0; status != 200 && !deadline.hasExpired();) {
                const int fd = connectTo(at, from);
                QByteArray pending;
                sendBytes(fd, "GET /program.html?T%5Bstation%5D=1 HTTP/1.0\r\n"
                              "X-Forwarded-For: " +
                                  forwardedFor + "\r\n\r\n");
                status = readReply(fd, pending).status;
                ::close(fd);
            }
            const std::lock_guard<std::mutex> lock(logging);
            return logged.empty() ? QByteArray() : logged.back().split(' ').value(2);
        };
        QCOMPARE(clientLogged(2, "198.51.100.7"), "198.51.100.7");
        QCOMPARE(clientLogged(2, "203.0.113.9, 198.51.100.7"), "198.51.100.7");
        QCOMPARE(clientLogged(2, "2001:db8::7,127.0.0.2"), "2001:db8::7");
        QCOMPARE(clientLogged(2, "198.51.100.7, nonsense"), "127.0.0.2");
        QCOMPARE(clientLogged(3, "198.51.100.7"), "127.0.0.3");

        limits = {};
        limits.perAddress = 0;
        PortalServer unlimited(Listings(), stations, {}, {}, limits);
        const quint16 open = quint16(unlimited.bind("127.0.0.1", 0));
        std::thread servingAll([&unlimited] { unlimited.serve(); });
        const auto stoppingAll = qScopeGuard([&] {
            unlimited.stop();
            servingAll.join();
        });
        unlimited.waitUntilServing();
        for (int c = 0; c < 70; ++c)
            held.push_back(connectTo(open, 4));
        QVERIFY(std::all_of(held.begin(), held.end(), heldOpen));
    }

    // Until its first listings are in, the portal answers every page with a 503 that tells
    // when to ask again, and what is malformed as ever; then it serves them.
    void untilListingsAreIn()
    {
        StationMap stations;
        stations.insert(1, "tvp1.pl");
        PortalServer portal(stations);
        const quint16 port = quint16(portal.bind("127.0.0.1", 0));
        std::thread serving([&portal] { portal.serve(); });
        const auto stopping = qScopeGuard([&] {
            portal.stop();
            serving.join();
        });
        portal.waitUntilServing();
        for (const QByteArray target : {"/", "/stations.txt", "/program.html?T%5Bstation%5D=1"}) {
            const Reply reply = exchangeOnce(port, Get(target));
            QCOMPARE(reply.status, 503);
            QVERIFY2(reply.headers.contains("\r\nRetry-After: 5\r\n"), reply.headers.constData());
            QVERIFY(reply.headers.contains("\r\nCache-Control: no-store\r\n"));
            QCOMPARE(reply.body.size(), reply.contentLength);
        }
        QCOMPARE(exchangeOnce(port, Get("/program.html")).status, 400);

        QString error;
        portal.replaceListings(
            *readXmltv(writeFile(folder.path(), "later.xml", kListings), &error));
        const Reply page = exchangeOnce(port, Get("/program.html?T%5Bstation%5D=1"));
        QCOMPARE(page.status, 200);
        QVERIFY(!page.headers.contains("Retry-After"));
    }

    // A page says how long caches may keep it and names itself; a client whose copy is still
    // the page, by its tag or its date, gets 304 and no body, and one whose copy is older the
    // page. A HEAD request is answered the same.
    void conditionalRequests()
    {
        const QByteArray target = "/program.html?T%5Bstation%5D=1";
        const Reply page = exchangeOnce(port, Get(target));
        QCOMPARE(page.status, 200);
        const auto header = [](const Reply& reply, const char* name) {
            const QRegularExpression line(QStringLiteral("^%1: (.*)\r$").arg(name),
                                          QRegularExpression::MultilineOption);
            return line.match(QString::fromLatin1(reply.headers)).captured(1).toLatin1();
        };
        // 20:30 in Warsaw; the page changes at 21:10, which is more than five minutes away.
        QCOMPARE(header(page, "Cache-Control"), "public, max-age=300");
        const QByteArray etag = header(page, "ETag");
        QCOMPARE(etag, entityTag(page.body));
        const QByteArray date = header(page, "Last-Modified");
        QVERIFY2(parseHttpDate(date.toStdString()), date.constData());

        const auto asking = [&](const char* method, const QByteArray& condition) {
            return exchangeOnce(port, QByteArray(method) + ' ' + target +
                                          " HTTP/1.1\r\nHost: x\r\n" + condition +
                                          "\r\nConnection: close\r\n\r\n");
        };
        for (const QByteArray& condition :
             {"If-None-Match: " + etag, "If-None-Match: \"old\", " + etag,
              "If-Modified-Since: " + date}) {
            for (const char* method : {"GET", "HEAD"}) {
                const Reply same = asking(method, condition);
                QCOMPARE(same.status, 304);
                QVERIFY(same.body.isEmpty());
                QCOMPARE(header(same, "ETag"), etag);
                QCOMPARE(header(same, "Cache-Control"), "public, max-age=300");
            }
        }
        const Reply changed = asking("GET", "If-None-Match: \"old\"");
        QCOMPARE(changed.status, 200);
        QCOMPARE(changed.body, page.body);
        QCOMPARE(asking("GET", "If-Modified-Since: Mon, 07 Dec 2026 00:00:00 GMT").status, 200);
        const Reply missing = exchangeOnce(port, Get("/program.html?T%5Bstation%5D=7"));
        QCOMPARE(header(missing, "Cache-Control"), "public, max-age=60");
        QCOMPARE(header(exchangeOnce(port, Get("/program.html")), "Cache-Control"), "no-store");
    }

    // A second portal on a port in use fails to start instead of sharing the requests.
    void portInUse()
    {
        PortalServer second{Listings(), StationMap()};
        QCOMPARE(second.bind("127.0.0.1", port), -1);
    }

    // The program stops before serving anything when a file or an option is broken, saying
    // which and where.
    void programRefusesBrokenFiles_data()
    {
        QTest::addColumn<QByteArray>("listings");
        QTest::addColumn<QByteArray>("stations");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QByteArray map = "1 tvp1.pl\n";
        const QStringList any{"--listen", "127.0.0.1:0"};
        QTest::newRow("listings not well-formed")
            << QByteArray("<tv>\n<programme start=\"20261208200000\" channel=\"tvp1.pl\">\n"
                          "<title>A</titel>\n</programme>\n</tv>\n")
            << map << any << 1 << "broken.xml\", line 3: ";
        QTest::newRow("bad station map") << kListings << QByteArray("1 tvp1.pl\n\ntvn 17\n") << any
                                         << 1 << "stations.map\", line 3: ";
        QTest::newRow("bad listen address")
            << kListings << map << QStringList{"--listen", "127.0.0.1"} << 2
            << "--listen wants ADDRESS:PORT";
        QTest::newRow("bad limit")
            << kListings << map << any + QStringList{"--max-per-address", "-1"} << 2
            << "--max-per-address wants a number";
        QTest::newRow("proxy by name")
            << kListings << map << any + QStringList{"--trusted-proxy", "nginx.local"} << 2
            << "--trusted-proxy wants an IP address";
    }

    void programRefusesBrokenFiles()
    {
        QFETCH(QByteArray, listings);
        QFETCH(QByteArray, stations);
        QFETCH(QStringList, options);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QProcess program;
        program.start(kProgram,
                      options + QStringList{"--xmltv",
                                            writeFile(folder.path(), "broken.xml", listings),
                                            "--stations",
                                            writeFile(folder.path(), "stations.map", stations)});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), exitCode);
        const QString errors = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(errors.contains(message), qPrintable(errors));
        QVERIFY(!program.readAllStandardOutput().contains("serving"));
    }

    // The program listens at once: while its first download stalls, pages are a 503, and
    // SIGTERM ends it then and there, not after the download's deadline.
    void programListensWhileReading()
    {
        FaultServer source;
        source.setReply({FaultServer::okHead(1000), QByteArray(10, 'x'), 0, 0, -1, true});
        QProcess program;
        program.start(kProgram, {"--listen", "127.0.0.1:0", "--xmltv",
                                 QString::fromLatin1(source.url("/tv.xml")), "--cache",
                                 folder.filePath("stalled-cache")});
        auto ended = qScopeGuard([&] {
            program.kill();
            program.waitForFinished();
        });
        const QString port = awaitLine(program, "listening on 127\\.0\\.0\\.1:(\\d+),");
        QVERIFY(!port.isEmpty());
        QVERIFY(source.waitForRequests(1, 30000));
        const Reply reply = exchangeOnce(quint16(port.toInt()), Get("/program.html"
                                                                    "?T%5Bstation%5D=1"));
        QCOMPARE(reply.status, 503);

        program.terminate();
        // The stalled download alone would hold it for a minute.
        QVERIFY(program.waitForFinished(20000));
        ended.dismiss();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(!program.readAllStandardOutput().contains("serving"));
    }

    // With --keep-serving a broken file does not end the program: pages stay a 503, the
    // channels say why and where; once the file is mended, SIGHUP brings its listings in.
    void programKeepsServing()
    {
        const QString listings =
            writeFile(folder.path(), "keep.xml", "<tv>\n<channel id=\"tvp1.pl\">\n</tv>\n");
        QProcess program;
        program.start(kProgram, {"--listen", "127.0.0.1:0", "--xmltv", listings, "--keep-serving"});
        auto ended = qScopeGuard([&] {
            program.kill();
            program.waitForFinished();
        });
        const QString port = awaitLine(program, "listening on 127\\.0\\.0\\.1:(\\d+),[^\n]*\n"
                                                "(?:.*\n)*ekranik-portal: cannot read the "
                                                "listings; /channels.json says why\n");
        QVERIFY(!port.isEmpty());
        const quint16 portal = quint16(port.toInt());
        QCOMPARE(exchangeOnce(portal, Get("/program.html?T%5Bchannel%5D=tvp1.pl")).status, 503);
        const auto channels = [portal] {
            const Reply reply = exchangeOnce(portal, Get("/channels.json"));
            return reply.status == 200 ? QJsonDocument::fromJson(reply.body).object()
                                       : QJsonObject();
        };
        const QJsonObject failed = channels();
        QCOMPARE(failed["state"], "failed");
        QCOMPARE(failed["problems"][0]["source"], listings);
        QCOMPARE(failed["problems"][0]["line"], 3);
        QVERIFY2(failed["problems"][0]["reason"].toString().contains("w wierszu 3"),
                 qPrintable(failed["problems"][0]["reason"].toString()));

        writeFile(folder.path(), "keep.xml", kListings);
        ::kill(pid_t(program.processId()), SIGHUP);
        QVERIFY(!awaitLine(program, "serving (3) programmes on http://").isEmpty());
        const QJsonObject ready = channels();
        QCOMPARE(ready["state"], "ready");
        QCOMPARE(ready["problems"], QJsonArray());
        QCOMPARE(ready["channels"][0]["id"], "tvp1.pl");
        QCOMPARE(exchangeOnce(portal, Get("/program.html?T%5Bchannel%5D=tvp1.pl")).status, 200);

        program.terminate();
        QVERIFY(program.waitForFinished(30000));
        ended.dismiss();
        QCOMPARE(program.exitCode(), 0);
    }

    // The program serves what is on air now, in local time, and logs the request. Its station
    // list, saved as programy.tv, reads back as ekranik's own station file, and each line's
    // address gives that channel's page; the front page lists the same lines. SIGHUP reads the
    // listings again while serving. SIGTERM ends it the orderly way.
    void programServesNow()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QDateTime start = now.addSecs(-3600).addSecs(-now.time().second());
        const QByteArray times =
            "start=\"" + start.toString("yyyyMMddHHmmss").toLatin1() + " +0000\" stop=\"" +
            now.addSecs(3600).toString("yyyyMMddHHmmss").toLatin1() + " +0000\"";
        const auto listingsTitled = [&](const QByteArray& title) {
            return "<tv><channel id=\"tvp1.pl\"><display-name>TVP 1</display-name></channel>"
                   "<channel id=\"Łódź TV\"><display-name>Łódź &amp; okolice</display-name>"
                   "</channel><programme " +
                   times + " channel=\"tvp1.pl\"><title>" + title +
                   "</title></programme><programme " + times +
                   " channel=\"Łódź TV\"><title>Sąsiedzi</title></programme></tv>";
        };
        const QString listings =
            writeFile(folder.path(), "now.xml", listingsTitled("Teraz w Jedynce"));
        QProcess program;
        program.start(kProgram, {"--listen", "127.0.0.1:0", "--xmltv", listings, "--stations",
                                 writeFile(folder.path(), "now.map", "1 tvp1.pl\n")});
        auto ended = qScopeGuard([&] {
            program.kill();
            program.waitForFinished();
        });
        const QString port = awaitLine(program, "serving 2 programmes on http://127.0.0.1:(\\d+)/");
        QVERIFY(!port.isEmpty());
        const QByteArray portal = "http://127.0.0.1:" + port.toLatin1();
        const QByteArray target = "/program.html?T%5Bstation%5D=1";
        const QByteArray time = start.toLocalTime().toString("HH:mm").toLatin1();
        const auto shown = [&](const QByteArray& url, const QString& station) {
            const std::optional<QByteArray> page = download(url, folder.path(), station);
            return page ? win1250ToUnicode(nowPlayingOf(*page, station)) : QString("<failed>");
        };
        QCOMPARE(shown(portal + target, "tvp1.tv"), "tvp1.tv : " + time + " - Teraz w Jedynce");

        QTemporaryDir work;
        const std::optional<QByteArray> list =
            download(portal + "/stations.txt", work.path(), kStationListFile);
        QVERIFY(list);
        const QList<QByteArray> entries = readTextFile(work.filePath(kStationListFile));
        QCOMPARE(joinTextLines(entries), *list);
        QCOMPARE(entries,
                 QList<QByteArray>({"tvp.1.tv|" + portal + target,
                                    "lodz.okolice.tv|" + portal +
                                        "/program.html?T%5Bchannel%5D=%C5%81%C3%B3d%C5%BA%20TV"}));
        QStringList lines;
        for (const QByteArray& entry : entries) {
            QCOMPARE(checkStationName(EntryName(entry)), StationNameProblem::None);
            lines << shown(EntryURL(entry), QString::fromLatin1(EntryName(entry)));
        }
        QCOMPARE(lines, QStringList({"tvp.1.tv : " + time + " - Teraz w Jedynce",
                                     "lodz.okolice.tv : " + time + " - Sąsiedzi"}));
        const std::optional<QByteArray> front = download(portal + "/", work.path(), "front.html");
        QVERIFY(front);
        const QString html = QString::fromUtf8(*front);
        for (const QByteArray& entry : entries)
            QVERIFY2(html.contains(QString::fromLatin1(entry).toHtmlEscaped()), qPrintable(html));
        QVERIFY(html.contains("Łódź &amp; okolice"));
        QVERIFY(html.contains(time + " Sąsiedzi"));

        writeFile(folder.path(), "now.xml", listingsTitled("Nowy tytuł"));
        ::kill(pid_t(program.processId()), SIGHUP);
        QTRY_COMPARE_WITH_TIMEOUT(shown(portal + target, "tvp1.tv"),
                                  "tvp1.tv : " + time + " - Nowy tytuł", 20000);

        // What a client sends is logged with every byte outside printable ASCII as \xNN, and
        // a control byte in a pipelined request is refused as in the first.
        const int fd = connectTo(quint16(port.toInt()));
        QVERIFY(sendBytes(fd, "GET " + target +
                                  " HTTP/1.1\r\nHost: a\r\nUser-Agent: Zażółć\r\n\r\n"
                                  "GET " +
                                  target +
                                  "\x1b[2J HTTP/1.1\r\nHost: a\r\nUser-Agent: x\a"
                                  "\r\nConnection: close\r\n\r\n"));
        QByteArray pending;
        QCOMPARE(readReply(fd, pending).status, 200);
        QCOMPARE(readReply(fd, pending).status, 400);
        ::close(fd);

        program.terminate(); // SIGTERM: an orderly end, status 0
        QVERIFY(program.waitForFinished(30000));
        ended.dismiss();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QByteArray log = program.readAllStandardError();
        QVERIFY2(log.contains(" 127.0.0.1 \"GET " + target + " HTTP/1.0\" 200 "), log.constData());
        QVERIFY2(log.contains("\"Za\\xC5\\xBC\\xC3\\xB3\\xC5\\x82\\xC4\\x87\""), log.constData());
        QVERIFY2(log.contains(target + "\\x1B[2J HTTP/1.1\" 400 "), log.constData());
        QVERIFY(log.contains("\"x\\x07\"") && !log.contains('\x1b') && !log.contains('\a'));
        QVERIFY2(log.contains("read \"" + listings.toUtf8() + "\": 2 channels, 2 programmes"),
                 log.constData());
    }
};

int main(int argc, char* argv[])
{
    useTestTimeZone();
    QCoreApplication app(argc, argv);
    TestPortalServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portal_server.moc"
