// Reading XMLTV and the station map: times with their own offsets and summer-time changes in
// local time, clear errors for broken files, moving listings to today, and the demo data.

#include "portal/listingpage.h"
#include "portal/listingrequest.h"
#include "portal/stationmap.h"
#include "portal/xmltvreader.h"
#include "portal/xmltvtime.h"
#include "portaltest.h"
#include "stations/defaultstations.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kDataDir = QStringLiteral(EKRANIK_DATA_DIR);

QByteArray programmeXml(const QByteArray& start, const QByteArray& stop, const QByteArray& title)
{
    return "<programme start=\"" + start + "\" stop=\"" + stop + "\" channel=\"c\"><title>" +
           title + "</title></programme>\n";
}

QByteArray xmltvOf(const QByteArray& programmes)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n"
           "<channel id=\"c\"><display-name>Kanał</display-name></channel>\n" +
           programmes + "</tv>\n";
}

// The start times of the rows of the page for the day of now, and the line ekranik shows.
struct Day {
    QStringList times;
    QByteArray line;
};

Day dayOf(const Listings& listings, const QString& now)
{
    const QByteArray page =
        listingPage(*listings.channel("c"), QDateTime::fromString(now, Qt::ISODate));
    Day day;
    static const QRegularExpression kTime("<td class=\"godz\">(\\d\\d:\\d\\d)");
    for (const QRegularExpressionMatch& m : kTime.globalMatch(QString::fromLatin1(page)))
        day.times << m.captured(1);
    day.line = nowPlayingOf(page, "c.tv");
    return day;
}

// UTC hours first..last of a day as programmes an hour long, titled by their UTC hour.
QByteArray hourlyUtc(const QByteArray& date, int first, int last)
{
    QByteArray programmes;
    for (int h = first; h <= last; ++h) {
        const QDateTime start(QDate::fromString(date, "yyyyMMdd"), QTime(0, 0), Qt::UTC);
        const QByteArray s = start.addSecs(h * 3600).toString("yyyyMMddHHmmss").toLatin1();
        const QByteArray e = start.addSecs((h + 1) * 3600).toString("yyyyMMddHHmmss").toLatin1();
        programmes += programmeXml(s + " +0000", e + " +0000", "UTC " + QByteArray::number(h));
    }
    return programmes;
}

} // namespace

class TestPortalXmltv : public QObject {
    Q_OBJECT

    QTemporaryDir folder;

    std::optional<Listings> read(const QByteArray& xml, QString* error = nullptr)
    {
        return readXmltv(writeFile(folder.path(), "listings.xml", xml), error);
    }

private slots:
    void times_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("utc"); // empty: not a time
        QTest::newRow("own offset") << "20261208200000 +0100"
                                    << "2026-12-08T19:00:00Z";
        QTest::newRow("UTC offset") << "20261208200000 +0000"
                                    << "2026-12-08T20:00:00Z";
        QTest::newRow("no zone is UTC") << "20261208200000"
                                        << "2026-12-08T20:00:00Z";
        QTest::newRow("+0200") << "20261208200000 +0200"
                               << "2026-12-08T18:00:00Z";
        QTest::newRow("negative, half hour") << "20261208200000 -0330"
                                             << "2026-12-08T23:30:00Z";
        QTest::newRow("across midnight") << "20261208233000 -0100"
                                         << "2026-12-09T00:30:00Z";
        QTest::newRow("no space") << "20261208200000+0100"
                                  << "2026-12-08T19:00:00Z";
        QTest::newRow("minutes only") << "202612082015 +0100"
                                      << "2026-12-08T19:15:00Z";
        QTest::newRow("date only") << "20261208"
                                   << "2026-12-08T00:00:00Z";
        QTest::newRow("named zone") << "20260708200000 CEST"
                                    << "2026-07-08T18:00:00Z";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("odd digit count") << "2026120820000 +0100"
                                         << "";
        QTest::newRow("month 13") << "20261308200000 +0100"
                                  << "";
        QTest::newRow("30 February") << "20260230200000 +0100"
                                     << "";
        QTest::newRow("hour 24") << "20261208240000 +0100"
                                 << "";
        QTest::newRow("short offset") << "20261208200000 +01"
                                      << "";
        QTest::newRow("unknown zone name") << "20261208200000 EST"
                                           << "";
        QTest::newRow("offset too large") << "20261208200000 +1500"
                                          << "";
        QTest::newRow("text after") << "20261208200000 +0100 x"
                                    << "";
    }

    void times()
    {
        QFETCH(QString, text);
        QFETCH(QString, utc);
        const std::optional<qint64> instant = parseXmltvTime(text);
        QCOMPARE(instant.has_value(), !utc.isEmpty());
        if (instant)
            QCOMPARE(QDateTime::fromMSecsSinceEpoch(*instant, Qt::UTC),
                     QDateTime::fromString(utc, Qt::ISODate));
    }

    // Listings of a day in Warsaw given with various offsets: the page shows local times.
    void localTimes_data()
    {
        QTest::addColumn<QByteArray>("programmes");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QStringList>("times");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("winter, mixed offsets")
            << programmeXml("20261208170000 +0000", "20261208180000 +0000", "A") +
                   programmeXml("20261208200000 +0200", "20261208190000 +0000", "B") +
                   programmeXml("20261208190000", "20261208230000 +0100", "C")
            << "2026-12-08T19:15" << QStringList{"18:00", "19:00", "20:00"}
            << QByteArray("c.tv : 19:00 - B");
        QTest::newRow("summer, UTC")
            << programmeXml("20260708180000 +0000", "20260708190000 +0000", "A")
            << "2026-07-08T20:30" << QStringList{"20:00"} << QByteArray("c.tv : 20:00 - A");
        QTest::newRow("UTC evening is tomorrow here")
            << programmeXml("20261208233000 +0000", "20261209003000 +0000", "A")
            << "2026-12-09T00:45" << QStringList{"00:30"} << QByteArray("c.tv : 00:30 - A");
        // Warsaw moves from 02:00 to 03:00 on 29 March 2026: a 23-hour day.
        QTest::newRow("spring forward")
            << hourlyUtc("20260328", 23, 45) << "2026-03-29T03:30"
            << QStringList{"00:00", "01:00", "03:00", "04:00", "05:00", "06:00", "07:00", "08:00",
                           "09:00", "10:00", "11:00", "12:00", "13:00", "14:00", "15:00", "16:00",
                           "17:00", "18:00", "19:00", "20:00", "21:00", "22:00", "23:00"}
            << QByteArray("c.tv : 03:00 - UTC 25");
        // ...and from 03:00 back to 02:00 on 25 October 2026: a 25-hour day, 02:00 twice.
        QTest::newRow("fall back")
            << hourlyUtc("20261024", 22, 46) << "2026-10-25T02:30"
            << QStringList{"00:00", "01:00", "02:00", "02:00", "03:00", "04:00", "05:00",
                           "06:00", "07:00", "08:00", "09:00", "10:00", "11:00", "12:00",
                           "13:00", "14:00", "15:00", "16:00", "17:00", "18:00", "19:00",
                           "20:00", "21:00", "22:00", "23:00"}
            << QByteArray("c.tv : 02:00 - UTC 24");
    }

    void localTimes()
    {
        QFETCH(QByteArray, programmes);
        QFETCH(QString, now);
        QFETCH(QStringList, times);
        QFETCH(QByteArray, line);
        QString error;
        const std::optional<Listings> listings = read(xmltvOf(programmes), &error);
        QVERIFY2(listings, qPrintable(error));
        const Day day = dayOf(*listings, now);
        QCOMPARE(day.times, times);
        QCOMPARE(day.line, line);
    }

    void brokenListings_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("what");
        const QByteArray good = programmeXml("20261208200000 +0100", "20261208210000 +0100", "A");
        QTest::newRow("empty file") << QByteArray() << 1 << "Premature end of document";
        QTest::newRow("other root")
            << QByteArray("<?xml version=\"1.0\"?>\n\n<html/>\n") << 3 << "not <tv>";
        QTest::newRow("unclosed element")
            << xmltvOf(good +
                       "<programme start=\"20261208210000\" channel=\"c\">\n<title>B</title>\n")
            << 7 << "";
        QTest::newRow("bad start time")
            << xmltvOf(good + programmeXml("2026-12-08 21:00", "20261208220000", "B")) << 5
            << "\"2026-12-08 21:00\" is not an XMLTV time";
        QTest::newRow("stop before start")
            << xmltvOf(programmeXml("20261208210000", "20261208200000", "B")) << 4
            << "before it starts";
        QTest::newRow("no title") << xmltvOf(
                                         "<programme start=\"20261208210000\" channel=\"c\"/>\n")
                                  << 4 << "<title>";
        QTest::newRow("no channel")
            << xmltvOf("<programme start=\"20261208210000\"><title>B</title></programme>\n") << 4
            << "without a channel";
    }

    void brokenListings()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, line);
        QFETCH(QString, what);
        QString error;
        QVERIFY(!read(xml, &error));
        QVERIFY2(error.contains("\"" + folder.filePath("listings.xml") + "\""), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral(", line %1: ").arg(line)), qPrintable(error));
        QVERIFY2(error.contains(what), qPrintable(error));
    }

    void stationMap_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error"); // empty: read
        QTest::newRow("entries, comments, blanks")
            << QByteArray(
                   "# stations\r\n\r\n1 tvp1.pl\n  67\tdiscovery.pl   # Discovery\n2 tvp1.pl")
            << "";
        QTest::newRow("no channel") << QByteArray("1 tvp1.pl\n\n5\n") << "line 3: expected";
        QTest::newRow("three fields") << QByteArray("5 polsat.pl extra\n") << "line 1: expected";
        QTest::newRow("not a number")
            << QByteArray("# x\npolsat 5\n") << "line 2: \"polsat\" is not";
        QTest::newRow("negative") << QByteArray("-5 polsat.pl\n") << "line 1: \"-5\" is not";
        QTest::newRow("more digits than a request takes")
            << QByteArray("1000000000 polsat.pl\n") << "line 1: \"1000000000\" is not";
        QTest::newRow("twice") << QByteArray("5 polsat.pl\n1 tvp1.pl\n5 tvn.pl\n")
                               << "line 3: station 5 is already mapped on line 1";
    }

    void stationMap()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QString message;
        // A "%1" in the path stays in the message as it is.
        const std::optional<StationMap> map =
            StationMap::read(writeFile(folder.path(), "stations%1.map", text), &message);
        QCOMPARE(!map, !error.isEmpty());
        if (map) {
            QCOMPARE(map->stations(), (QList<int>{1, 2, 67}));
            QCOMPARE(*map->channel(67), "discovery.pl");
            QCOMPARE(*map->channel(2), "tvp1.pl");
            QVERIFY(!map->channel(5));
        } else {
            QVERIFY2(message.contains(error), qPrintable(message));
            QVERIFY2(message.contains("stations%1.map\", line "), qPrintable(message));
        }
    }

    // Listings of one day written in UTC, moved to days in winter and summer: the local times
    // of day stay, and something is on air all day long, also in the hour that the day in UTC
    // does not cover here.
    void moveToDay_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::newRow("winter") << QDate(2027, 1, 12);
        QTest::newRow("summer") << QDate(2027, 7, 6);
        QTest::newRow("23-hour day") << QDate(2027, 3, 28);
    }

    void moveToDay()
    {
        QFETCH(QDate, day);
        QByteArray programmes;
        for (int h = 0; h < 24; ++h) {
            const QByteArray start = QByteArray::number(2026120800 + h) + "0000 +0000";
            const QByteArray stop = h == 23 ? QByteArray("20261209000000 +0000")
                                            : QByteArray::number(2026120801 + h) + "0000 +0000";
            // Titled by the Warsaw hour it starts at.
            programmes += programmeXml(start, stop, QByteArray::number((h + 1) % 24));
        }
        std::optional<Listings> listings = read(xmltvOf(programmes));
        QVERIFY(listings);
        listings->moveToDay(day);
        for (int h = 0; h < 24; ++h) {
            const QTime time(h, 30);
            if (!QDateTime(day, time).isValid())
                continue;
            const QByteArray hour = QByteArray::number(h).rightJustified(2, '0');
            const Day shown = dayOf(*listings, QDateTime(day, time).toString(Qt::ISODate));
            const QByteArray expected = "c.tv : " + hour + ":00 - " + QByteArray::number(h);
            QCOMPARE(shown.line, expected);
        }
    }

    // The demo listings and station map: every station of ekranik's default list shows a
    // channel that, moved to today, has something on air at any time of the day, in whatever
    // time zone the test runs (the test is run in more than one).
    void demoData()
    {
        QString error;
        std::optional<StationMap> map = StationMap::read(kDataDir + "/stations.map", &error);
        QVERIFY2(map, qPrintable(error));
        std::optional<Listings> listings = readXmltv(kDataDir + "/demo.xmltv", &error);
        QVERIFY2(listings, qPrintable(error));
        const QDate today(2027, 3, 28);
        listings->moveToDay(today);

        const QList<QByteArray> defaults = defaultStations();
        QCOMPARE(defaults.size(), 13);
        QCOMPARE(map->stations().size(), defaults.size());
        int hits = 0;
        for (const QByteArray& entry : defaults) {
            const QByteArray address = entry.mid(entry.indexOf('|') + 1);
            const QByteArray target = address.mid(address.indexOf('/', 7));
            const ListingRequest request = parseListingRequest(target.toStdString());
            QCOMPARE(request.status, ListingRequest::Status::Ok);
            const QString* channelId = map->channel(request.station);
            QVERIFY2(channelId, entry.constData());
            const Channel* channel = listings->channel(*channelId);
            QVERIFY2(channel, qPrintable(*channelId));
            for (QDateTime now = today.startOfDay(); now.date() == today; now = now.addSecs(1200)) {
                const QByteArray page = listingPage(*channel, now);
                QVERIFY2(page.contains("trwa.gif"),
                         qPrintable(*channelId + " at " + now.toString(Qt::ISODate)));
                hits += nowPlayingOf(page, "x.tv").contains("[HIT]") ? 1 : 0;
            }
        }
        QVERIFY(hits > 0);
    }
};

int main(int argc, char* argv[])
{
    useTestTimeZone();
    QCoreApplication app(argc, argv);
    TestPortalXmltv test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portal_xmltv.moc"
