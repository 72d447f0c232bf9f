// Where the portal's listings come from: files plain or gzip-compressed, addresses downloaded
// and cached, several sources merged, and reading them again: new listings replace the old
// whole, a source that fails keeps its last good ones, a restart without network serves the
// cached copy.

#include "portal/catalogue.h"
#include "portal/listingssource.h"
#include "portal/programtext.h"
#include "portal/reloader.h"
#include "portaltest.h"
#include "support/faultserver.h"
#include "support/gzipped.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <mutex>

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

private:
    mutable std::mutex m_mutex;
    QStringList m_lines;
    QList<Listings> m_published;
};

} // namespace

class TestPortalSources : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

private slots:
    // A file is read plain or gzip-compressed whatever its name; gzip that is cut off or
    // corrupt, or not XMLTV inside, is refused with a reason.
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
    // broken later, its last listings stay.
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

        reloader.start(heard.publish());
        writeFile(folder.path(), "first.xml", "<tv><channel id=\"a.pl\">");
        reloader.reloadNow();
        QTRY_VERIFY(heard.allLines().contains("first.xml\", line 1"));
        QVERIFY(heard.published().isEmpty());
        QCOMPARE(titles(reloader.merged()).first(), "a.pl=One a.pl");

        writeFile(folder.path(), "first.xml", listingsOf({"b.pl"}, "New"));
        reloader.reloadNow();
        QTRY_COMPARE(heard.published().size(), 1);
        QCOMPARE(titles(heard.published().first()),
                 QStringList({"b.pl=New b.pl", "c.pl=Two c.pl"}));
        reloader.stop();

        Reloader broken({first, writeFile(folder.path(), "third.xml", "<tv>\n<x>\n")}, options);
        QVERIFY(!broken.loadFirst(&error));
        QVERIFY2(error.contains("third.xml\", line 3"), qPrintable(error));
    }

    // An address: downloaded and cached; asked again conditionally (304: nothing to read);
    // new listings replace the old; a 404 or a truncated gzip keeps the last good ones; a
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

            const QByteArray two = listingsOf({"a.pl", "b.pl"}, "Two");
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
};

int main(int argc, char* argv[])
{
    useTestTimeZone();
    QCoreApplication app(argc, argv);
    TestPortalSources test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portal_sources.moc"
