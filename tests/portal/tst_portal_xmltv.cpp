// Reading XMLTV and the station map: times with their own offsets and summer-time changes in
// local time, clear errors for broken files, moving listings to today, and the demo data.

#include "portal/listingpage.h"
#include "portal/listingrequest.h"
#include "portal/programtext.h"
#include "portal/stationmap.h"
#include "portal/xmltvreader.h"
#include "portal/xmltvtime.h"
#include "portaltest.h"
#include "stations/defaultstations.h"
#include "support/piecedevice.h"

#include <QIODevice>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

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

    // Titles and names as written in all the ways XML allows, in the language asked for. Each
    // file is read whole and a byte at a time, with the same result.
    void texts_data()
    {
        QTest::addColumn<QByteArray>("prolog");
        QTest::addColumn<QByteArray>("channel"); // what <tv> holds before the programme
        QTest::addColumn<QByteArray>("titles");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("displayNames");
        const QByteArray utf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        const QByteArray kanal = "<channel id=\"c\"><display-name>Kanał</display-name></channel>";
        const QStringList kanalNames{"Kanał"};
        QTest::newRow("CDATA") << utf8 << kanal
                               << QByteArray("<title><![CDATA[Tom & <Jerry>]]></title>") << "pl"
                               << "Tom & <Jerry>"
                               << "Kanał" << kanalNames;
        // CDATA comes in pieces: cut anywhere, "]]" and a CR LF stay what they are.
        QTest::newRow("CDATA with brackets, CR LF and UTF-8")
            << utf8
            << QByteArray("<channel id=\"c\"><display-name><![CDATA[a]]]\r\nż<b>]]]></display-name>"
                          "</channel>")
            << QByteArray("<title>T</title>") << "pl"
            << "T"
            << "a]]]\nż<b>]" << QStringList{"a]]]\nż<b>]"};
        QTest::newRow("entities and character references")
            << utf8
            << QByteArray("<channel id=\"c\"><display-name>TVN &quot;24&quot;</display-name>"
                          "</channel>")
            << QByteArray("<title>Tom &amp; Jerry &#x17B;&#243;&#322;w &lt;3&gt; &apos;</title>")
            << "pl"
            << "Tom & Jerry Żółw <3> '"
            << "TVN \"24\"" << QStringList{"TVN \"24\""};
        QTest::newRow("unknown entity and lone ampersand kept")
            << utf8 << kanal << QByteArray("<title>AT&T &nbsp; &amp; &#38;</title>") << "pl"
            << "AT&T &nbsp; & &"
            << "Kanał" << kanalNames;
        QTest::newRow("NUL bytes dropped, line ends kept")
            << utf8
            << QByteArray("<channel id=\"c\" x=\"\0\"><display-name>Ka\0na\xc5\x82</display-name>"
                          "</channel>",
                          68)
            << QByteArray("<title>A\r\0\nB</title>", 20) << "pl"
            << "A\n\nB"
            << "Kanał" << kanalNames;
        QTest::newRow("internal subset entities")
            << QByteArray("<!DOCTYPE tv SYSTEM \"xmltv.dtd\" [\n"
                          "  <!ELEMENT tv (channel*)> <!-- ] > -->\n"
                          "  <!ENTITY nbsp \"&#160;\">\n"
                          "  <!ENTITY tvn 'TVN &amp; co'> <!ENTITY tvn \"not the first\">\n"
                          "  <!ENTITY ext SYSTEM \"ext.xml\"> <!ENTITY % pe \"x\"> %pe;\n"
                          "]>\n")
            << QByteArray("<channel id=\"c\"><display-name>&tvn;</display-name></channel>")
            << QByteArray("<title>A&nbsp;B &ext;</title>") << "pl"
            << "A\u00A0B &ext;"
            << "TVN & co" << QStringList{"TVN & co"};
        QTest::newRow("comments, processing instructions, unknown elements")
            << QByteArray("<?xml version='1.0'?><!-- a -->\n<?xml-stylesheet href=\"s.xsl\"?>\n")
            << QByteArray("<source><programme start=\"x\"/></source>\n"
                          "<channel id=\"c\"><icon src=\"i.png\"/><url>u</url>"
                          "<display-name>Ka<!-- b -->nał<?pi x?></display-name></channel>")
            << QByteArray("<desc>d <b>e</b></desc><x><title>no</title></x><title>T</title>") << "pl"
            << "T"
            << "Kanał" << kanalNames;
        const QByteArray languages = "<title lang=\"en\">E</title><title lang=\"pl-PL\">P</title>"
                                     "<title lang=\"pl\">P2</title>";
        QTest::newRow("language asked for") << utf8 << kanal << languages << "en"
                                            << "E"
                                            << "Kanał" << kanalNames;
        QTest::newRow("region subtag") << utf8 << kanal << languages << "pl"
                                       << "P"
                                       << "Kanał" << kanalNames;
        QTest::newRow("region asked for, case") << utf8 << kanal
                                                << QByteArray("<title>E</title>"
                                                              "<title lang='PL_pl'>P</title>")
                                                << "pl-PL"
                                                << "P"
                                                << "Kanał" << kanalNames;
        QTest::newRow("language missing: the first") << utf8 << kanal << languages << "de"
                                                     << "E"
                                                     << "Kanał" << kanalNames;
        QTest::newRow("display names")
            << utf8
            << QByteArray("<channel id=\"c\">\n<display-name lang=\"en\">Channel</display-name>\n"
                          "<display-name> </display-name><display-name>5\r\n6</display-name>\n"
                          "<display-name lang=\"pl\"> Kanał\n</display-name></channel>")
            << QByteArray("<title>T</title>") << "pl"
            << "T"
            << "Kanał" << QStringList{"Channel", "5\n6", "Kanał"};
        QTest::newRow("no display name: the id")
            << utf8 << QByteArray("<channel id=\" c \"><display-name/></channel>")
            << QByteArray("<title>T</title>") << "pl"
            << "T"
            << "c" << QStringList{};
        QTest::newRow("ISO-8859-2") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>")
                                    << QByteArray("<channel id=\"c\"><display-name>Kana\xb3 "
                                                  "&#x104;</display-name></channel>")
                                    << QByteArray("<title lang=\"pl\">\xa3\xf3\x64\xbc "
                                                  "\xb1\xea\xb6\xe6</title>")
                                    << "pl"
                                    << "Łódź ąęść"
                                    << "Kanał Ą" << QStringList{"Kanał Ą"};
        QTest::newRow("windows-1250") << QByteArray("<?xml version='1.0' encoding='windows-1250'?>")
                                      << QByteArray(kanal).replace("ł", "\xb3")
                                      << QByteArray("<title>\x9c\x9f\x8c</title>") << "pl"
                                      << "śźŚ"
                                      << "Kanał" << kanalNames;
        QTest::newRow("GBK, two bytes a character")
            << QByteArray("<?xml version=\"1.0\" encoding=\"GBK\"?>")
            << QByteArray("<channel id=\"c\"><display-name>\xD6\xD0\xCE\xC4 &#x4E2D;"
                          "</display-name></channel>")
            << QByteArray("<title>T</title>") << "pl"
            << "T"
            << "中文 中" << QStringList{"中文 中"};
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\"?>")
                                         << kanal << QByteArray("<title>T</title>") << "pl"
                                         << "T"
                                         << "Kanał" << kanalNames;
    }

    void texts()
    {
        QFETCH(QByteArray, prolog);
        QFETCH(QByteArray, channel);
        QFETCH(QByteArray, titles);
        QFETCH(QString, lang);
        QFETCH(QString, title);
        QFETCH(QString, name);
        QFETCH(QStringList, displayNames);
        const QByteArray xml = prolog + "<tv>\n" + channel +
                               "\n<programme start=\"20261208200000\" channel=\"c\">" + titles +
                               "</programme>\n</tv>\n";
        for (const qint64 piece : {qint64(1) << 20, qint64(1)}) {
            PieceDevice device(xml, piece);
            QString error;
            const std::optional<Listings> listings = readXmltv(&device, "x", lang, &error);
            QVERIFY2(listings, qPrintable(error));
            const Channel* c = listings->channel("c");
            QVERIFY(c);
            QCOMPARE(c->programmes.size(), 1);
            QCOMPARE(c->programmes[0].title, programText(title));
            QCOMPARE(c->name, programText(name));
            QCOMPARE(c->displayNames, displayNames);
        }
    }

    // A programme is a hit when one of its star ratings is at least 80 % of its scale.
    void ratings_data()
    {
        QTest::addColumn<QByteArray>("ratings");
        QTest::addColumn<bool>("hit");
        QTest::newRow("4/5") << QByteArray("<value>4/5</value>") << true;
        QTest::newRow("3/5") << QByteArray("<value>3/5</value>") << false;
        QTest::newRow("spaces, sign, fraction")
            << QByteArray("<value> +8.5 / 10\n</value>") << true;
        QTest::newRow("exponent") << QByteArray("<value>1e1/10</value>") << true;
        QTest::newRow("second rating")
            << QByteArray("<value>1/5</value><value>5/5</value>") << true;
        QTest::newRow("zero scale") << QByteArray("<value>4/0</value>") << false;
        QTest::newRow("negative") << QByteArray("<value>-4/-5</value>") << false;
        QTest::newRow("no scale") << QByteArray("<value>4</value>") << false;
        QTest::newRow("two slashes") << QByteArray("<value>4/5/5</value>") << false;
        QTest::newRow("not a number") << QByteArray("<value>x/5</value><icon/>") << false;
        QTest::newRow("not C digits") << QByteArray("<value>\xD9\xA4/5</value>") << false;
    }

    void ratings()
    {
        QFETCH(QByteArray, ratings);
        QFETCH(bool, hit);
        const std::optional<Listings> listings =
            read(xmltvOf("<programme start=\"20261208200000\" channel=\"c\"><title>A</title>"
                         "<star-rating>" +
                         ratings + "</star-rating></programme>"));
        QVERIFY(listings);
        QCOMPARE(listings->channel("c")->programmes.value(0).hit, hit);
    }

    void utf16()
    {
        const QString xml = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<tv><channel id=\"c\">"
                            "<display-name>Kanał 😀</display-name></channel></tv>";
        QByteArray bytes("\xFF\xFE");
        bytes.append(reinterpret_cast<const char*>(xml.utf16()), xml.size() * 2);
        for (const qint64 piece : {qint64(1) << 20, qint64(1)}) {
            PieceDevice device(bytes, piece);
            QString error;
            const std::optional<Listings> listings = readXmltv(&device, "x", "pl", &error);
            QVERIFY2(listings, qPrintable(error));
            QCOMPARE(listings->channel("c")->displayNames, QStringList{"Kanał 😀"});
        }
    }

    // XML that is not well-formed, or cannot be read: the file and the line of the fault.
    void brokenXml_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("what");
        QTest::newRow("mismatched tags")
            << QByteArray("<tv>\n<channel id=\"c\">\n</tv>\n") << 3 << "</tv> does not match";
        QTest::newRow("end tag without start")
            << QByteArray("<tv>\n</x>\n") << 2 << "</x> does not match <tv>";
        QTest::newRow("unclosed at the end")
            << QByteArray("<tv>\n<channel id=\"c\">\n") << 3 << "<channel> is not closed";
        QTest::newRow("text after the root") << QByteArray("<tv/>\n\nhello\n") << 3 << "after";
        QTest::newRow("text before the root") << QByteArray("\nhello <tv/>\n") << 2 << "before";
        QTest::newRow("second root") << QByteArray("<tv></tv>\n<tv/>\n") << 2 << "second root";
        QTest::newRow("< in an attribute value")
            << QByteArray("<tv>\n<channel id=\"a<b\"/>\n</tv>\n") << 2 << "\"<\" in the value";
        QTest::newRow("unquoted attribute")
            << QByteArray("<tv>\n<channel id=c/>\n</tv>\n") << 2 << "not in quotes";
        QTest::newRow("duplicate attribute")
            << QByteArray("<tv>\n\n<channel id=\"a\"\n id='b'/>\n</tv>\n") << 4 << "given twice";
        QTest::newRow("end inside a tag")
            << QByteArray("<tv>\n<channel id=\"c\"") << 2 << "Premature end of document inside";
        QTest::newRow("end inside a comment")
            << QByteArray("<tv>\n<!-- x\n\n") << 4 << "inside a comment";
        QTest::newRow("end inside CDATA")
            << QByteArray("<tv><title><![CDATA[x]]") << 1 << "inside a CDATA section";
        QTest::newRow("bad UTF-8")
            << QByteArray("<tv>\n<x>ok \xC3\xB3\n\xC3\x28</x></tv>") << 3 << "not UTF-8";
        QTest::newRow("overlong UTF-8")
            << QByteArray("<tv>\n<x a='\xC0\xAF'/></tv>") << 2 << "not UTF-8";
        QTest::newRow("surrogate reference") << QByteArray("<tv>\n<x>&#xD800;</x></tv>") << 2
                                             << "\"&#xD800;\" is not of a character";
        QTest::newRow("zero reference")
            << QByteArray("<tv>\n<x>\n&#0;</x></tv>") << 3 << "\"&#0;\" is not of a character";
        QTest::newRow("malformed reference")
            << QByteArray("<tv>\n<x>&#12a;</x></tv>") << 2 << "malformed character reference";
        QTest::newRow("unknown encoding")
            << QByteArray("<?xml version=\"1.0\" encoding=\"EBCDIC-US\"?>\n<tv/>\n") << 1
            << "encoding \"EBCDIC-US\" cannot be read";
        QTest::newRow("UTF-16 declared, no byte order mark")
            << QByteArray("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<tv/>\n") << 1
            << "encoding \"UTF-16\" cannot be read";
        QTest::newRow("declaration not at the start")
            << QByteArray("<tv/>\n<?xml version=\"1.0\"?>\n") << 2 << "not at the start";
        QTest::newRow("DOCTYPE without its end")
            << QByteArray("<!DOCTYPE tv SYSTEM \"xmltv.dtd\"\n<tv/>\n") << 2
            << "in the document type declaration";
    }

    void brokenXml()
    {
        QFETCH(QByteArray, xml);
        QFETCH(int, line);
        QFETCH(QString, what);
        QString error;
        QVERIFY(!read(xml, &error));
        const QString expected = QStringLiteral("Cannot read listings file \"%1\", line %2: ")
                                     .arg(folder.filePath("listings.xml"))
                                     .arg(line);
        QVERIFY2(error.startsWith(expected), qPrintable(error));
        QVERIFY2(error.contains(what), qPrintable(error));
        // Given a byte at a time, the same message.
        PieceDevice device(xml, 1);
        QString trickled;
        QVERIFY(!readXmltv(&device, folder.filePath("listings.xml"), "pl", &trickled));
        QCOMPARE(trickled, error);
    }

    // A stream that breaks off (a cut gzip file): its own message, never listings of what
    // came before. A "%1" in the source name stays as it is.
    void deviceError()
    {
        const QByteArray xml = xmltvOf(
            programmeXml("20261208200000 +0100", "20261208210000 +0100", "A").repeated(2000));
        PieceDevice device(xml, 4096, xml.size() / 2);
        QString error;
        QVERIFY(!readXmltv(&device, "cut%1.xml.gz", "pl", &error));
        const QString line = QString::number(xml.left(xml.size() / 2).count('\n') + 1);
        QCOMPARE(error, "Cannot read listings file \"cut%1.xml.gz\", line " + line +
                            ": reading failed: the stream is cut off");
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
    // does not cover here. On a day of 23 hours the programme of the hour the clocks skip is
    // not shown: it would never be on air.
    void moveToDay_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::newRow("winter") << QDate(2027, 1, 12);
        QTest::newRow("summer") << QDate(2027, 7, 6);
        QTest::newRow("23-hour day") << QDate(2027, 3, 28);
        QTest::newRow("25-hour day") << QDate(2027, 10, 31);
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
        QStringList hours;
        for (int h = 0; h < 24; ++h) {
            if (QDateTime(day, QTime(h, 0)).isValid())
                hours << QTime(h, 0).toString("HH:mm");
        }
        QCOMPARE(dayOf(*listings, day.startOfDay().toString(Qt::ISODate)).times, hours);
        // Every half hour of the day as it passes, so both halves of an hour that repeats.
        for (QDateTime at = day.startOfDay().addSecs(1800); at.date() == day;
             at = at.addSecs(3600)) {
            const int h = at.time().hour();
            const QByteArray hour = QByteArray::number(h).rightJustified(2, '0');
            const Day shown = dayOf(
                *listings, at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODateWithMs));
            const QByteArray expected = "c.tv : " + hour + ":00 - " + QByteArray::number(h);
            QVERIFY2(shown.line == expected,
                     qPrintable(at.toString(Qt::ISODate) + ": " + shown.line));
        }
    }

    // Listings of a winter day moved to the day the clocks skip 02:00 to 03:00: what starts in
    // the skipped hour starts when the clock goes on, what would end in it ends then, what lies
    // wholly in it is not shown, and the rows stay in the order of the day they came from.
    void moveToDaySkippedHour_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("before the gap")
            << "2027-03-28T01:59:59+01:00" << QByteArray("c.tv : 01:40 - A");
        QTest::newRow("after the gap")
            << "2027-03-28T03:00:00+02:00" << QByteArray("c.tv : 03:00 - D");
        QTest::newRow("into the next")
            << "2027-03-28T03:20:00+02:00" << QByteArray("c.tv : 03:20 - E");
    }

    void moveToDaySkippedHour()
    {
        QFETCH(QString, now);
        QFETCH(QByteArray, line);
        std::optional<Listings> listings =
            read(xmltvOf(programmeXml("20261208014000 +0100", "20261208021000 +0100", "A") +
                         programmeXml("20261208021000 +0100", "20261208023000 +0100", "B") +
                         programmeXml("20261208023000 +0100", "20261208024000 +0100", "C") +
                         programmeXml("20261208024000 +0100", "20261208032000 +0100", "D") +
                         programmeXml("20261208032000 +0100", "20261208050000 +0100", "E")));
        QVERIFY(listings);
        listings->moveToDay(QDate(2027, 3, 28));
        const Day day = dayOf(*listings, now);
        QCOMPARE(day.times, QStringList({"01:40", "03:00", "03:20"}));
        QCOMPARE(day.line, line);
    }

    // The demo listings and station map: every station of ekranik's default list shows a
    // channel that, moved to today, has something on air at any time of the day, in whatever
    // time zone the test runs (the test is run in more than one), also on the days Warsaw's
    // clocks change.
    void demoData_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::newRow("23-hour day") << QDate(2027, 3, 28);
        QTest::newRow("25-hour day") << QDate(2027, 10, 31);
    }

    void demoData()
    {
        QFETCH(QDate, today);
        QString error;
        std::optional<StationMap> map = StationMap::read(kDataDir + "/stations.map", &error);
        QVERIFY2(map, qPrintable(error));
        std::optional<Listings> listings = readXmltv(kDataDir + "/demo.xmltv", &error);
        QVERIFY2(listings, qPrintable(error));
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
