// Where the portal's listings come from: files plain, gzip- or xz-compressed, addresses downloaded
// and cached, several sources merged, and reading them again: new listings replace the old
// whole, a source that fails keeps its last good ones, a restart without network serves the
// cached copy. A source cannot turn the portal against itself or its user: every kind of file
// is capped, a stop ends any reading at once, a file rewritten while it is read is never served
// half old and half new, a cache folder others could write to is not used, and a password never
// reaches the log or the cache.

#include "portal/catalogue.h"
#include "portal/listingssource.h"
#include "portal/programtext.h"
#include "portal/reloader.h"
#include "portaltest.h"
#include "support/faultserver.h"
#include "support/gzipped.h"
#include "support/xzipped.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Listings of the given channels, each with one programme titled "<title> <channel>".
QByteArray listingsOf(const QStringList& channels, const QString& title)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n";
    for (const QString& c : channels)
        xml += "<channel id=\"" + c.toUtf8() + "\"><display-name>" + c.toUpper().toUtf8() +
               "</display-name></channel>\n";
    for (const QString& c : channels)
        xml += "<programme start=\"20261208200000 +0100\" stop=\"20261208210000 +0100\" "
               "channel=\"" +
               c.toUtf8() + "\"><title>" + (title + ' ' + c).toUtf8() + "</title></programme>\n";
    return xml + "</tv>\n";
}

// An xz stream whose first block asks for another dictionary size (LZMA2's code: 40 is 4 GiB),
// its header's checksum made right again: only the decoder's memory limit stops it.
QByteArray withXzDictionary(QByteArray xz, char code)
{
    constexpr qsizetype kBlock = 12; // after the stream header
    const qsizetype headerSize = (quint8(xz[kBlock]) + 1) * 4;
    const qsizetype filter = xz.indexOf("\x21\x01", kBlock); // LZMA2, one byte of properties
    if (filter < 0 || filter + 2 >= kBlock + headerSize - 4)
        qFatal("no LZMA2 filter in the block header");
    xz[filter + 2] = code;
    const quint32 crc = lzma_crc32(reinterpret_cast<const uint8_t*>(xz.constData()) + kBlock,
                                   size_t(headerSize - 4), 0);
    for (int i = 0; i < 4; ++i)
        xz[kBlock + headerSize - 4 + i] = char(crc >> (8 * i));
    return xz;
}

// The title of each channel's first programme, "channel=title", in the listings' order.
QStringList titles(const Listings& listings)
{
    QStringList result;
    for (const QString& id : listings.channelIds()) {
        const Channel* channel = listings.channel(id);
        result << id + '=' +
                      (channel->programmes.isEmpty()
                           ? QString()
                           : QString::fromLatin1(channel->programmes.first().title));
    }
    return result;
}

// Listings of 20,000 channels, about 4 MB: long enough to be caught part-way through a reading.
// Titles of one length keep the size whatever the title.
QByteArray manyChannels(const QString& title)
{
    QStringList channels;
    for (int i = 0; i < 20000; ++i)
        channels << QStringLiteral("c%1.pl").arg(i, 5, 10, QLatin1Char('0'));
    return listingsOf(channels, title);
}

// How many channels' programmes have each title, "title=count", sorted.
QStringList titleCounts(const Listings& listings)
{
    QMap<QString, int> counts;
    for (const QString& line : titles(listings))
        ++counts[line.section(u'=', 1).section(u' ', 0, 0)];
    QStringList result;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        result << it.key() + '=' + QString::number(it.value());
    return result;
}

// The read position of the descriptor this process has open on path, other than `except`;
// -1 when there is none.
qint64 readPosition(const QByteArray& path, int except)
{
    qint64 position = -1;
    DIR* fds = ::opendir("/proc/self/fd");
    while (const dirent* entry = fds ? ::readdir(fds) : nullptr) {
        char target[4096];
        const QByteArray fd(entry->d_name);
        const ssize_t length = ::readlinkat(::dirfd(fds), fd.constData(), target, sizeof target);
        if (fd.toInt() == except || length <= 0 || QByteArray(target, length) != path)
            continue;
        QFile info(QString::fromLatin1("/proc/self/fdinfo/" + fd));
        if (info.open(QIODevice::ReadOnly)) {
            const QByteArray line = info.readLine(); // "pos:\t<offset>"
            position = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
        break;
    }
    if (fds)
        ::closedir(fds);
    return position;
}

// Writes from this thread to a pipe whose reader has gone fail (EPIPE) instead of raising
// SIGPIPE, which Qt Test takes for a crash.
void blockPipeSignal()
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
}

QByteArray okWith(const QByteArray& body, const QByteArray& validators = {})
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" +
           validators + "Connection: close\r\n\r\n";
}

// What a reloader tells, kept for the test thread: its log lines and the listings it publishes.
class Heard {
public:
    Reloader::Log log()
    {
        return [this](const QString& line) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_lines << line;
        };
    }
    Reloader::Publish publish()
    {
        return [this](Listings listings) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_published << listings;
        };
    }
    QString lastLine() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines.isEmpty() ? QString() : m_lines.last();
    }
    qsizetype lineCount() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines.size();
    }
    QString allLines() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines.join('\n');
    }
    QList<Listings> published() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_published;
    }
    Reloader::Problems problems()
    {
        return [this](QList<SourceProblem> problems) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_problems << problems;
        };
    }
    // Every list of problems the reloader told, in turn.
    QList<QList<SourceProblem>> toldProblems() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_problems;
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
    QList<Listings> m_published;
    QList<QList<SourceProblem>> m_problems;
};

} // namespace

class TestPortalSources : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

private slots:
    // A file is read plain, gzip- or xz-compressed whatever its name; packed data that is cut
    // off or corrupt, or not XMLTV inside, is refused with a reason.
    void files_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        const QByteArray xml = listingsOf({"a.pl", "b.pl"}, "Film");
        const QByteArray packed = gzipped(xml);
        QTest::newRow("plain") << xml << QString();
        QTest::newRow("gzip") << packed << QString();
        QTest::newRow("two gzip members")
            << gzipped(xml.left(100)) + gzipped(xml.mid(100)) << QString();
        QTest::newRow("gzip cut off") << packed.left(packed.size() / 2) << "ends early";
        QTest::newRow("gzip without its trailer") << packed.chopped(4) << "ends early";
        QByteArray corrupt = packed;
        corrupt[corrupt.size() / 2] = char(corrupt[corrupt.size() / 2] ^ 0x55);
        QTest::newRow("gzip corrupt") << corrupt << "broken gzip data";
        QTest::newRow("gzip of something else") << gzipped("not xml at all") << "line 1";
        const QByteArray xz = xzipped(xml);
        QTest::newRow("xz") << xz << QString();
        QTest::newRow("two xz streams")
            << xzipped(xml.left(100)) + xzipped(xml.mid(100)) << QString();
        QTest::newRow("xz streams with padding between")
            << xzipped(xml.left(100)) + QByteArray(8, '\0') + xzipped(xml.mid(100)) << QString();
        QTest::newRow("xz cut off") << xz.left(xz.size() / 2) << "xz data ends early";
        QTest::newRow("xz without its footer") << xz.chopped(4) << "xz data ends early";
        QByteArray brokenXz = xz;
        brokenXz[brokenXz.size() / 2] = char(brokenXz[brokenXz.size() / 2] ^ 0x55);
        QTest::newRow("xz corrupt") << brokenXz << "broken xz data";
        QTest::newRow("xz of something else") << xzipped("not xml at all") << "line 1";
        QTest::newRow("xz asking for 4 GiB to unpack")
            << withXzDictionary(xz, 40) << "needs more than 96 MiB of memory";
    }

    void files()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QString message;
        const std::optional<Listings> listings = readListingsFile(
            writeFile(folder.path(), "listings.xml", bytes), "listings.xml", "pl", &message);
        if (error.isEmpty()) {
            QVERIFY2(listings, qPrintable(message));
            QCOMPARE(titles(*listings), QStringList({"a.pl=Film a.pl", "b.pl=Film b.pl"}));
        } else {
            QVERIFY(!listings);
            QVERIFY2(message.contains(error) && message.contains("listings.xml"),
                     qPrintable(message));
        }
    }

    // Several sources: every channel once, in the order of the sources; a channel in two gets
    // the first source's programmes. A file broken at the start stops the start with its line;
    // broken later, its last listings stay. Its problem is told while it lasts.
    void mergedFiles()
    {
        const QString first =
            writeFile(folder.path(), "first.xml", listingsOf({"a.pl", "b.pl"}, "One"));
        const QString second =
            writeFile(folder.path(), "second.xml.gz", gzipped(listingsOf({"b.pl", "c.pl"}, "Two")));
        Reloader::Options options;
        options.cacheFolder = folder.filePath("cache");
        Heard heard;
        Reloader reloader({first, second}, options, heard.log());
        QString error;
        QVERIFY2(reloader.loadFirst(&error), qPrintable(error));
        QCOMPARE(titles(reloader.merged()),
                 QStringList({"a.pl=One a.pl", "b.pl=One b.pl", "c.pl=Two c.pl"}));

        QCOMPARE(reloader.problems(), QList<SourceProblem>());
        reloader.start(heard.publish(), heard.problems());
        writeFile(folder.path(), "first.xml", "<tv><channel id=\"a.pl\">");
        reloader.reloadNow();
        QTRY_VERIFY(heard.allLines().contains("first.xml\", line 1"));
        QVERIFY(heard.published().isEmpty());
        QCOMPARE(titles(reloader.merged()).first(), "a.pl=One a.pl");
        QTRY_COMPARE(heard.toldProblems().size(), 1);
        QCOMPARE(heard.toldProblems().first().size(), 1);
        const SourceProblem problem = heard.toldProblems().first().first();
        QCOMPARE(problem.source, first);
        QCOMPARE(problem.line, 1);
        QCOMPARE(reloader.problems(), heard.toldProblems().first());

        writeFile(folder.path(), "first.xml", listingsOf({"b.pl"}, "New"));
        reloader.reloadNow();
        QTRY_COMPARE(heard.published().size(), 1);
        QCOMPARE(titles(heard.published().first()),
                 QStringList({"b.pl=New b.pl", "c.pl=Two c.pl"}));
        QCOMPARE(heard.toldProblems(), QList<QList<SourceProblem>>({{problem}, {}}));
        reloader.stop();

        // Every source is read at the start, so that the problem of each is known.
        const QString third = writeFile(folder.path(), "third.xml", "<tv>\n<x>\n");
        const QString fourth = folder.filePath("fourth.xml");
        Reloader broken({first, third, fourth}, options);
        QVERIFY(!broken.loadFirst(&error));
        QVERIFY2(error.contains("third.xml\", line 3"), qPrintable(error));
        QCOMPARE(broken.problems().size(), 2);
        QCOMPARE(broken.problems()[0].source, third);
        QCOMPARE(broken.problems()[1].source, fourth);
    }

    // What the user is told of a source that cannot be read: one Polish sentence for each kind
    // of failure, the detail in parentheses, and the line where the XML breaks.
    void problems_data()
    {
        QTest::addColumn<QString>("kind");     // how the source is made
        QTest::addColumn<QByteArray>("bytes"); // of a file, or of an answer to a download
        QTest::addColumn<QString>("reason");   // ending in "…": that far
        QTest::addColumn<int>("line");
        const QByteArray xml = listingsOf({"a.pl"}, "Film");
        const QByteArray big = xml.chopped(7) + QByteArray(2 << 20, ' ') + "</tv>\n";
        QByteArray brokenGzip = gzipped(xml);
        brokenGzip[brokenGzip.size() / 2] = char(brokenGzip[brokenGzip.size() / 2] ^ 0x55);
        const QByteArray xz = xzipped(xml);

        QTest::newRow("missing") << "missing" << QByteArray()
                                 << "Nie ma takiego pliku (No such file or directory)." << 0;
        QTest::newRow("cannot be opened")
            << "loop" << QByteArray()
            << "Nie można otworzyć pliku (Too many levels of symbolic links)." << 0;
        QTest::newRow("cannot be read")
            << "folder" << QByteArray() << "Nie można odczytać pliku (Is a directory)." << 0;
        QTest::newRow("cannot connect") << "refused" << QByteArray()
                                        << "Nie można połączyć się z serwerem (could not "
                                           "connect: …"
                                        << 0;
        QTest::newRow("HTTP status")
            << "404" << QByteArray() << "Serwer odpowiedział błędem HTTP 404." << 0;
        QTest::newRow("larger than the cap")
            << "file" << big
            << "Źródło jest za duże: portal czyta najwyżej 1 MiB programu (it is larger than 1 "
               "MiB)."
            << 0;
        QTest::newRow("download larger than the cap")
            << "download" << big
            << "Źródło jest za duże: portal czyta najwyżej 1 MiB programu (larger than 1 MiB)."
            << 0;
        QTest::newRow("unpacked past the cap")
            << "file" << xzipped(big)
            << "Źródło jest za duże: portal czyta najwyżej 1 MiB programu (more than 1 MiB of "
               "XMLTV once unpacked)."
            << 0;
        QTest::newRow("damaged gzip")
            << "file" << brokenGzip << "Spakowane dane są uszkodzone albo urwane (broken gzip …"
            << 0;
        QTest::newRow("cut-off xz download")
            << "download" << xz.left(xz.size() / 2)
            << "Spakowane dane są uszkodzone albo urwane (the xz data ends early (is the file "
               "cut off?))."
            << 0;
        QTest::newRow("broken XML")
            << "file" << QByteArray("<tv>\n<channel id=\"a\">\n<x>\n</channel>\n</tv>\n")
            << "Plik nie jest poprawnym XML-em: błąd w wierszu 4 (…" << 4;
        QTest::newRow("not XMLTV")
            << "download" << QByteArray("<!DOCTYPE html>\n<html><body>Not found</body></html>")
            << "To nie jest program telewizyjny w formacie XMLTV (the root element is <html>, "
               "not <tv>)."
            << 0;
        QTest::newRow("broken XMLTV")
            << "file" << QByteArray("<tv>\n<programme channel=\"a\"><title>A</title></programme>")
            << "Program XMLTV jest błędny w wierszu 2 (a <programme> without a start time)." << 2;
        QTest::newRow("no channels")
            << "file" << QByteArray("<tv>\n</tv>\n") << "W programie nie ma żadnego kanału." << 0;
    }

    void problems()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QFETCH(int, line);
        QTemporaryDir scratch;
        FaultServer server;
        QString source = scratch.filePath("listings");
        if (kind == "file") {
            writeFile(scratch.path(), "listings", bytes);
        } else if (kind == "loop") {
            QVERIFY(QFile::link(source, source));
        } else if (kind == "folder") {
            QVERIFY(QDir().mkdir(source));
        } else if (kind == "refused") {
            source = "http://127.0.0.1:" + QString::number(FaultServer::refusedPort()) + "/tv";
        } else if (kind != "missing") {
            source = QString::fromLatin1(server.url("/tv.xml"));
            server.setReply(kind == "404" ? FaultServer::Reply{FaultServer::statusHead(404, 0)}
                                          : FaultServer::Reply{okWith(bytes), bytes});
        }
        Reloader::Options options;
        options.cacheFolder = scratch.filePath("cache");
        options.maxBytes = 1 << 20;
        Reloader reloader({source}, options);
        QString error;
        QCOMPARE(reloader.loadFirst(&error), source.startsWith("http"));
        const QList<SourceProblem> problems = reloader.problems();
        QCOMPARE(problems.size(), 1);
        QCOMPARE(problems[0].source, source);
        if (reason.endsWith(u'…'))
            QVERIFY2(problems[0].reason().startsWith(reason.chopped(1)),
                     qPrintable(problems[0].reason()));
        else
            QCOMPARE(problems[0].reason(), reason);
        QCOMPARE(problems[0].line, line);
    }

    // An address: downloaded and cached (gzip, xz); asked again conditionally (304: nothing to
    // read); new listings replace the old; a 404 or a truncated gzip keeps the last good ones; a
    // restart with the server gone serves the cached copy.
    void address()
    {
        FaultServer server;
        const QString url = QString::fromLatin1(server.url("/tv.xml.gz"));
        const QByteArray one = gzipped(listingsOf({"a.pl"}, "One"));
        server.setReply({okWith(one, "ETag: \"v1\"\r\n"), one});
        Reloader::Options options;
        options.cacheFolder = folder.filePath("address-cache");
        Heard heard;
        {
            Reloader reloader({url}, options, heard.log());
            QString error;
            QVERIFY2(reloader.loadFirst(&error), qPrintable(error));
            QCOMPARE(titles(reloader.merged()), QStringList({"a.pl=One a.pl"}));
            reloader.start(heard.publish());

            server.setReply({"HTTP/1.1 304 Not Modified\r\nETag: \"v1\"\r\n\r\n"});
            reloader.reloadNow();
            QVERIFY(server.waitForRequests(2, 10000));
            QCOMPARE(headerValue(server.requests().last(), "If-None-Match"), "\"v1\"");
            QTRY_VERIFY(heard.lastLine().contains("has not changed"));

            const QByteArray two = xzipped(listingsOf({"a.pl", "b.pl"}, "Two"));
            server.setReply({okWith(two, "ETag: \"v2\"\r\n"), two});
            reloader.reloadNow();
            QTRY_COMPARE(heard.published().size(), 1);
            QCOMPARE(titles(heard.published().last()),
                     QStringList({"a.pl=Two a.pl", "b.pl=Two b.pl"}));

            const QByteArray three = gzipped(listingsOf({"c.pl"}, "Three"));
            for (const FaultServer::Reply& failing :
                 {FaultServer::Reply{FaultServer::statusHead(404, 0)},
                  FaultServer::Reply{okWith(three.left(three.size() - 20)),
                                     three.left(three.size() - 20)}}) {
                const int requests = server.requestCount();
                const qsizetype lines = heard.lineCount();
                server.setReply(failing);
                reloader.reloadNow();
                QVERIFY(server.waitForRequests(requests + 1, 10000));
                QTRY_COMPARE(heard.lineCount(), lines + 1);
                QVERIFY2(heard.lastLine().contains("trying again"), qPrintable(heard.lastLine()));
                QVERIFY2(heard.lastLine().contains("serving its last listings (2 programmes)"),
                         qPrintable(heard.lastLine()));
            }
            QVERIFY(heard.allLines().contains("HTTP status 404"));
            QVERIFY2(heard.lastLine().contains("ends early"), qPrintable(heard.lastLine()));
            QCOMPARE(heard.published().size(), 1);
            QCOMPARE(titles(reloader.merged()), QStringList({"a.pl=Two a.pl", "b.pl=Two b.pl"}));
        }

        // The server is gone: the cached copy of the last good download is served.
        const QString gone =
            "http://127.0.0.1:" + QString::number(FaultServer::refusedPort()) + "/tv.xml";
        Reloader restarted({url}, options, heard.log());
        QString error;
        QVERIFY(restarted.loadFirst(&error));
        QCOMPARE(titles(restarted.merged()), QStringList({"a.pl=Two a.pl", "b.pl=Two b.pl"}));
        Reloader neverReached({gone}, options, heard.log());
        QVERIFY(neverReached.loadFirst(&error));
        QVERIFY(neverReached.merged().channelIds().isEmpty());
        QVERIFY2(heard.lastLine().contains("nothing to serve from it yet"),
                 qPrintable(heard.lastLine()));
    }

    // Each channel's station line: a name ekranik takes as a file name, and an address by the
    // station map's number where it has one (found by id or display name), else by the id.
    void stations()
    {
        Listings listings;
        listings.addChannel("tvp1.pl", "TVP 1", {"TVP 1", "Jedynka"});
        listings.addChannel("polsat cafe", programText("Polsat Café"), {"Polsat Café"});
        listings.addChannel("x/y", "", {});
        listings.addChannel("prog", "Programy", {"Programy"});
        listings.addChannel("tvp1.de", "TVP 1", {"TVP 1"});
        StationMap map;
        map.insert(1, "JEDYNKA");
        map.insert(5, "tvp1.pl");
        map.insert(7, "nowhere.pl");
        const Catalogue catalogue(listings, map);
        QStringList lines;
        for (const Catalogue::Station& s : catalogue.stations())
            lines << QString::fromLatin1(s.name + '|' + s.path);
        QCOMPARE(lines, QStringList({"tvp.1.tv|/program.html?T%5Bstation%5D=1",
                                     "polsat.cafe.tv|/program.html?T%5Bchannel%5D=polsat%20cafe",
                                     "x.y.tv|/program.html?T%5Bchannel%5D=x%2Fy",
                                     "programy.2.tv|/program.html?T%5Bchannel%5D=prog",
                                     "tvp.1.2.tv|/program.html?T%5Bchannel%5D=tvp1.de"}));
        QCOMPARE(*catalogue.channelOfStation(7), "nowhere.pl");
        QVERIFY(!catalogue.channelOfStation(2));

        // Any number of channels of one name get names of their own, in one pass (tens of
        // thousands of namesakes took minutes, each trying every number from 2 again).
        Listings alike;
        constexpr int kAlike = 50000;
        for (int i = 0; i < kAlike; ++i)
            alike.addChannel(QString::number(i), "TV", {"TV"});
        const Catalogue namesakes(alike, {});
        QSet<QByteArray> names;
        for (const Catalogue::Station& s : namesakes.stations())
            names.insert(s.name);
        QCOMPARE(names.size(), kAlike);
        QVERIFY(names.contains("tv.tv") &&
                names.contains("tv." + QByteArray::number(kAlike) + ".tv"));
    }

    // Whatever kind of file a source is, reading it stops past the cap, which the reason names:
    // a pipe or a FIFO (--xmltv /dev/stdin) has no size to check beforehand.
    void cappedSources_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "fifo"
                              << "Cannot read listings file \"big\": it is larger than 1 MiB.";
        QTest::newRow("pipe, as /dev/stdin")
            << "pipe"
            << "Cannot read listings file \"big\": it is larger than 1 MiB.";
        QTest::newRow("regular file")
            << "file"
            << "Cannot read listings file \"big\": it is larger than 1 MiB.";
        QTest::newRow("gzip, unpacked") << "gzip"
                                        << "more than 1 MiB of XMLTV once unpacked";
        QTest::newRow("xz, unpacked") << "xz"
                                      << "more than 1 MiB of XMLTV once unpacked";
    }

    void cappedSources()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        constexpr qint64 cap = 1 << 20;
        // An element's text that goes on: the reader keeps reading.
        const QByteArray text = "<?xml version=\"1.0\"?>\n<tv><channel id=\"a\"><display-name>" +
                                QByteArray(2 * cap, 'x');
        QString path = folder.filePath("big-" + kind);
        int pipeEnds[2] = {-1, -1};
        std::thread writer;
        if (kind == "file" || kind == "gzip" || kind == "xz") {
            writeFile(folder.path(), "big-" + kind,
                      kind == "gzip" ? gzipped(text)
                      : kind == "xz" ? xzipped(text)
                                     : text);
        } else if (kind == "fifo") {
            QFile::remove(path);
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            writer = std::thread([path, text] {
                blockPipeSignal();
                QFile fifo(path);
                if (fifo.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                    fifo.write(text); // fails once the reader has gone
            });
        } else {
            QCOMPARE(::pipe2(pipeEnds, O_CLOEXEC), 0);
            path = "/proc/self/fd/" + QString::number(pipeEnds[0]);
            writer = std::thread([&pipeEnds, text] {
                blockPipeSignal();
                for (qsizetype at = 0; at < text.size();) {
                    const ssize_t n =
                        ::write(pipeEnds[1], text.constData() + at, size_t(text.size() - at));
                    if (n <= 0)
                        break;
                    at += n;
                }
                ::close(pipeEnds[1]);
            });
        }
        QString error;
        const std::optional<Listings> listings =
            readListingsFile(path, "big", "pl", &error, nullptr, cap);
        if (pipeEnds[0] >= 0)
            ::close(pipeEnds[0]); // the writer sees the end
        if (writer.joinable())
            writer.join();
        QVERIFY(!listings);
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // A stop from another thread (SIGTERM) ends the first reading at once, however long its
    // source would keep it waiting; start() after it starts nothing.
    void stopDuringFirstReading_data()
    {
        QTest::addColumn<bool>("address");
        QTest::newRow("a FIFO that says nothing more") << false;
        QTest::newRow("an address that says nothing") << true;
    }

    void stopDuringFirstReading()
    {
        QFETCH(bool, address);
        FaultServer server;
        server.setReply({{}, {}, 0, 0, -1, true});
        const QString fifo = folder.filePath("slow-fifo");
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        Reloader::Options options;
        options.cacheFolder = folder.filePath("stop-cache");
        Heard heard;
        Reloader reloader({address ? QString::fromLatin1(server.url("/tv.xml")) : fifo}, options,
                          heard.log());
        QString error;
        auto first = std::async(std::launch::async, [&] { return reloader.loadFirst(&error); });
        // Closed first when the test fails: the reading then ends.
        QFile writer(fifo);
        if (address) {
            QVERIFY(server.waitForRequests(1, 30000));
        } else {
            QVERIFY(writer.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            writer.write("<?xml version=\"1.0\"?>\n<tv>");
        }
        reloader.stop();
        QCOMPARE(first.wait_for(std::chrono::seconds(20)), std::future_status::ready);
        QCOMPARE(first.get(), false);
        QCOMPARE(error, QStringLiteral("stopped"));
        reloader.start(heard.publish());
        reloader.reloadNow();
    }

    // A file rewritten in place while it is read gives the old listings whole or the new ones
    // whole, never some channels of each. The rewrite comes once part of the programmes were
    // read, seen in the read position of the reader's descriptor; tried until it lands there.
    void fileRewrittenDuringReading()
    {
        const QByteArray older = manyChannels("Old");
        const QByteArray newer = manyChannels("New");
        QCOMPARE(older.size(), newer.size());
        // Within the programmes, which come after all the channels.
        const qint64 from = older.indexOf("<programme");
        const qint64 to = older.size() - older.size() / 8;
        bool caught = false;
        for (int attempt = 0; attempt < 20 && !caught; ++attempt) {
            const QString path = writeFile(folder.path(), "rewritten.xml", older);
            const QByteArray target = QFile::encodeName(QFileInfo(path).canonicalFilePath());
            std::jthread rewriter([&](std::stop_token done) {
                const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
                while (!done.stop_requested()) {
                    const qint64 at = readPosition(target, fd);
                    if (at > from && at < to) {
                        caught = ::pwrite(fd, newer.constData(), size_t(newer.size()), 0) ==
                                 newer.size();
                        break;
                    }
                }
                ::close(fd);
            });
            QString error;
            const std::optional<Listings> listings = readListingsFile(path, path, "pl", &error);
            rewriter.request_stop();
            rewriter.join();
            QVERIFY2(listings, qPrintable(error));
            const QStringList counts = titleCounts(*listings);
            QVERIFY2(counts == QStringList({"Old=20000"}) || counts == QStringList({"New=20000"}),
                     qPrintable(counts.join(", ")));
        }
        QVERIFY(caught);
    }

    // A file that keeps being rewritten while it is read is given up with the reason, and its
    // last listings stay.
    void fileThatKeepsChanging()
    {
        const QByteArray older = listingsOf({"a.pl", "b.pl"}, "Old");
        const QByteArray newer = listingsOf({"a.pl", "b.pl"}, "New");
        const QString path = writeFile(folder.path(), "changing.xml", older);
        Heard heard;
        Reloader reloader({path}, {}, heard.log());
        QString error;
        QVERIFY2(reloader.loadFirst(&error), qPrintable(error));
        reloader.start(heard.publish());
        std::atomic<int> rewrites{0};
        // Joined however the test ends.
        std::jthread rewriter([&](std::stop_token done) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
            for (bool flip = true; !done.stop_requested(); flip = !flip) {
                const QByteArray& bytes = flip ? newer : older;
                if (::pwrite(fd, bytes.constData(), size_t(bytes.size()), 0) != bytes.size())
                    break;
                ++rewrites;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ::close(fd);
        });
        QTRY_VERIFY(rewrites > 0);
        reloader.reloadNow();
        QTRY_VERIFY2_WITH_TIMEOUT(heard.allLines().contains("it kept changing while being read"),
                                  qPrintable(heard.allLines()), 20000);
        rewriter.request_stop();
        rewriter.join();
        reloader.stop();
        QVERIFY(heard.published().isEmpty());
        QCOMPARE(titles(reloader.merged()), QStringList({"a.pl=Old a.pl", "b.pl=Old b.pl"}));
    }

    // A cache folder another user could swap files in is not used at all: the log says why,
    // and the listings are served from memory.
    void refusedCacheFolder_data()
    {
        QTest::addColumn<int>("owner"); // -1: this user
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("why"); // a pattern
        QTest::newRow("another user's")
            << 65534 << 0700 << "belongs to \\S* ?\\(uid 65534\\), not to";
        QTest::newRow("writable by others")
            << -1 << 0777 << "can be written by other users \\(mode 0777\\)";
        QTest::newRow("writable by its group")
            << -1 << 0770 << "can be written by other users \\(mode 0770\\)";
    }

    void refusedCacheFolder()
    {
        QFETCH(int, owner);
        QFETCH(int, mode);
        QFETCH(QString, why);
        QTemporaryDir scratch;
        const QString cache = scratch.filePath("cache");
        QVERIFY(QDir().mkdir(cache));
        QCOMPARE(::chmod(QFile::encodeName(cache).constData(), mode_t(mode)), 0);
        if (owner >= 0) {
            if (::geteuid() != 0)
                QSKIP("only root can give a folder to another user");
            QCOMPARE(::chown(QFile::encodeName(cache).constData(), uid_t(owner), gid_t(-1)), 0);
        }
        FaultServer server;
        const QByteArray one = listingsOf({"a.pl"}, "One");
        server.setReply({okWith(one), one});
        Reloader::Options options;
        options.cacheFolder = cache;
        Heard heard;
        Reloader reloader({QString::fromLatin1(server.url("/tv.xml"))}, options, heard.log());
        QString error;
        QVERIFY2(reloader.loadFirst(&error), qPrintable(error));
        QCOMPARE(titles(reloader.merged()), QStringList({"a.pl=One a.pl"}));
        const QString lines = heard.allLines();
        const QRegularExpression said("the cache folder \"" + QRegularExpression::escape(cache) +
                                      "\" " + why + ".*; going on without a cache");
        QVERIFY2(lines.contains(said), qPrintable(lines));
        QCOMPARE(QDir(cache).entryList(QDir::Files | QDir::System | QDir::Hidden), QStringList());
    }

    // A password in a source's address goes to the server, and nowhere else: not to the log,
    // not to the cache folder.
    void credentials()
    {
        FaultServer server;
        server.setReply({FaultServer::statusHead(404, 0)});
        const QString hostAndPath = QString::fromLatin1(server.url("/tv.xml").mid(7));
        const QString shown = "http://jan:***@" + hostAndPath;
        Reloader::Options options;
        options.cacheFolder = folder.filePath("credentials-cache");
        Heard heard;
        Reloader reloader({"http://jan:tajne@" + hostAndPath}, options, heard.log());
        QString error;
        QVERIFY(reloader.loadFirst(&error));
        reloader.start(heard.publish());
        const QByteArray one = listingsOf({"a.pl"}, "One");
        server.setReply({okWith(one), one});
        reloader.reloadNow();
        QTRY_COMPARE(heard.published().size(), 1);
        reloader.stop();

        QCOMPARE(headerValue(server.requests().last(), "Authorization"),
                 "Basic " + QByteArray("jan:tajne").toBase64());
        const QString lines = heard.allLines();
        QVERIFY2(lines.contains("Cannot download \"" + shown + "\": HTTP status 404") &&
                     lines.contains("read \"" + shown + "\"") && !lines.contains("tajne"),
                 qPrintable(lines));
        const QDir cache(options.cacheFolder);
        const QStringList names = cache.entryList(QDir::Files);
        QCOMPARE(names.size(), 2);
        for (const QString& name : names) {
            QFile file(cache.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(!file.readAll().contains("tajne"));
        }
        QFile meta(cache.filePath(names.filter(".meta").value(0)));
        QVERIFY(meta.open(QIODevice::ReadOnly));
        QCOMPARE(meta.readLine(), "url " + shown.toUtf8() + '\n');
    }
};

int main(int argc, char* argv[])
{
    useTestTimeZone();
    QCoreApplication app(argc, argv);
    TestPortalSources test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portal_sources.moc"
