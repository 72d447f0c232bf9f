// The pages of the portal as ekranik reads them: each page goes through ekranik's own parser
// and the line it shows is compared with what a viewer should see. Also what the portal makes
// of request addresses, and what its router answers, without a network.

#include "portal/listingpage.h"
#include "portal/listingrequest.h"
#include "portal/portalrouter.h"
#include "portal/programtext.h"
#include "portaltest.h"
#include "text/win1250.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>
#include <atomic>

namespace {

struct Slot {
    QString start; // local "2026-12-08T20:00"
    QString stop;  // empty: no stop time
    QString title;
    bool hit = false;
};

const Slot kNews{"2026-12-08T19:30", "2026-12-08T20:10", "Wiadomości"};
const Slot kHit{"2026-12-08T20:10", "2026-12-08T21:10", "Ojciec Mateusz", true};
const Slot kLate{"2026-12-08T21:10", "2026-12-08T23:55", "Kabaret"};
const Slot kNight{"2026-12-08T23:55", "2026-12-09T00:30", "Nocne granie"};
const QString kNoInformation = "tvp1.tv : - brak informacji  - ";

// The nights the clocks change in Warsaw, each slot given with its offset from UTC. On 29 March
// 2026 the clock goes from 02:00 to 03:00 (a day of 23 hours); "Przez zmianę" runs across the
// skipped hour. On 25 October 2026 it goes from 03:00 back to 02:00 (a day of 25 hours):
// "Noc letnia" starts at 02:30 summer time and "Noc zimowa" at 02:30 winter time, two rows of
// the same day at "02:30"; "Przez zmianę" between them starts at 02:50 and runs across the
// change, so the rows' times go back from 02:50 to 02:30. Each night has a programme of
// the day before, one running at its midnight, one that ends at the next midnight and one of
// the next day.
const QList<Slot> kSpring{{"2026-03-28T22:00+01:00", "2026-03-28T23:30+01:00", "Wczoraj"},
                          {"2026-03-28T23:30+01:00", "2026-03-29T00:30+01:00", "Kino nocne"},
                          {"2026-03-29T00:30+01:00", "2026-03-29T01:45+01:00", "Muzyka"},
                          {"2026-03-29T01:45+01:00", "2026-03-29T03:15+02:00", "Przez zmianę"},
                          {"2026-03-29T03:15+02:00", "2026-03-29T23:59+02:00", "Dzień"},
                          {"2026-03-29T23:59+02:00", "2026-03-30T00:00+02:00", "Ostatnia minuta"},
                          {"2026-03-30T00:00+02:00", "2026-03-30T01:00+02:00", "Jutro"}};
const QList<Slot> kAutumn{{"2026-10-24T22:00+02:00", "2026-10-24T23:30+02:00", "Wczoraj"},
                          {"2026-10-24T23:30+02:00", "2026-10-25T00:30+02:00", "Kino nocne"},
                          {"2026-10-25T00:30+02:00", "2026-10-25T02:30+02:00", "Muzyka"},
                          {"2026-10-25T02:30+02:00", "2026-10-25T02:50+02:00", "Noc letnia"},
                          {"2026-10-25T02:50+02:00", "2026-10-25T02:30+01:00", "Przez zmianę"},
                          {"2026-10-25T02:30+01:00", "2026-10-25T03:15+01:00", "Noc zimowa"},
                          {"2026-10-25T03:15+01:00", "2026-10-25T23:59+01:00", "Dzień"},
                          {"2026-10-25T23:59+01:00", "2026-10-26T00:00+01:00", "Ostatnia minuta"},
                          {"2026-10-26T00:00+01:00", "2026-10-26T01:00+01:00", "Jutro"}};

// The rows of a page in order, "HH:MM title", as a browser reads them.
QStringList rowsOf(const QByteArray& page)
{
    static const QRegularExpression kRow(
        "<td class=\"godz\">(\\d\\d:\\d\\d).*javascript:okno\\(\\d+\\)\">([^<]*)</a>");
    QStringDecoder latin2("ISO-8859-2");
    QStringList rows;
    for (const QRegularExpressionMatch& m : kRow.globalMatch(latin2.decode(page)))
        rows << m.captured(1) + ' ' + m.captured(2);
    return rows;
}

Channel makeChannel(const QList<Slot>& schedule)
{
    Channel channel;
    channel.id = "tvp1.pl";
    channel.name = "TVP 1";
    for (const Slot& slot : schedule) {
        Programme programme;
        programme.start = localInstant(slot.start);
        if (!slot.stop.isEmpty())
            programme.stop = localInstant(slot.stop);
        programme.title = programText(slot.title);
        programme.hit = slot.hit;
        programme.id = static_cast<int>(channel.programmes.size()) + 100;
        channel.programmes.append(programme);
    }
    return channel;
}

// The title as ekranik shows it when the programme is on air.
QString shownTitle(const QString& title)
{
    const Channel channel = makeChannel({{"2026-12-08T12:00", "2026-12-08T13:00", title}});
    QByteArray shown;
    nowPlayingOf(listingPage(channel, QDateTime::fromString("2026-12-08T12:30", Qt::ISODate)),
                 "tvp1.tv", &shown);
    return win1250ToUnicode(shown);
}

// /channels.json as the router answers it, parsed; null when it is not a 200 of JSON.
QJsonObject channelsJson(const PortalRouter& router, std::string_view host = {},
                         std::string_view acceptLanguage = {})
{
    const PortalRouter::Reply reply = router.answer("/channels.json", host, acceptLanguage);
    if (reply.status != 200 || qstrcmp(reply.type, "application/json; charset=utf-8") != 0)
        return {};
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(reply.body, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s", qPrintable(error.errorString()));
    return json.object();
}

} // namespace

Q_DECLARE_METATYPE(QList<Slot>)

class TestPortalPage : public QObject {
    Q_OBJECT

private slots:
    void router();
    void routerAcrossClockChanges();
    void caching();
    void frontPageLanguage_data();
    void frontPageLanguage();
    void validators_data();
    void validators();
    void nowPlaying_data()
    {
        QTest::addColumn<QList<Slot>>("schedule");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("expected");

        const QList<Slot> evening{kNews, kHit, kLate, kNight};
        QTest::newRow("plain programme") << evening << "2026-12-08T19:45"
                                         << "tvp1.tv : 19:30 - Wiadomości";
        QTest::newRow("hit") << evening << "2026-12-08T20:30"
                             << "tvp1.tv : [HIT] 20:10 - Ojciec Mateusz";
        QTest::newRow("hit from its first second") << evening << "2026-12-08T20:10:00"
                                                   << "tvp1.tv : [HIT] 20:10 - Ojciec Mateusz";
        QTest::newRow("after a hit") << evening << "2026-12-08T21:10"
                                     << "tvp1.tv : 21:10 - Kabaret";
        QTest::newRow("just before midnight") << evening << "2026-12-08T23:59:59"
                                              << "tvp1.tv : 23:55 - Nocne granie";
        QTest::newRow("running since yesterday")
            << QList<Slot>{{"2026-12-07T23:30", "2026-12-08T01:00", "Kino nocne"},
                           {"2026-12-08T01:00", "2026-12-08T02:00", "Zakończenie dnia"}}
            << "2026-12-08T00:10"
            << "tvp1.tv : 23:30 - Kino nocne";
        QTest::newRow("Polish letters")
            << QList<Slot>{{"2026-12-08T12:00", "2026-12-08T13:00", "zażółć gęślą jaźń"}}
            << "2026-12-08T12:30"
            << "tvp1.tv : 12:00 - zażółć gęślą jaźń";
        QTest::newRow("Polish capitals, Ą and Ź too")
            << QList<Slot>{{"2026-12-08T12:00", "2026-12-08T13:00", "ZAŻÓŁĆ GĘŚLĄ JAŹŃ"}}
            << "2026-12-08T12:30"
            << "tvp1.tv : 12:00 - ZAŻÓŁĆ GĘŚLĄ JAŹŃ";
        QTest::newRow("pipe") << QList<Slot>{{"2026-12-08T12:00", "2026-12-08T13:00",
                                              "Sport | Pogoda", true}}
                              << "2026-12-08T12:30"
                              << "tvp1.tv : [HIT] 12:00 - Sport / Pogoda";
        QTest::newRow("marker text in an earlier title")
            << QList<Slot>{{"2026-12-08T11:00", "2026-12-08T12:00", "Jak działa <trwa.gif>"},
                           {"2026-12-08T12:00", "2026-12-08T13:00", "Film"}}
            << "2026-12-08T12:30"
            << "tvp1.tv : 12:00 - Film";
        QTest::newRow("overlap: the later start")
            << QList<Slot>{kNews, kLate, {"2026-12-08T19:50", "2026-12-08T20:00", "Komunikat"}}
            << "2026-12-08T19:55"
            << "tvp1.tv : 19:50 - Komunikat";
        QTest::newRow("title over 50 characters")
            << QList<Slot>{{"2026-12-08T21:10", "2026-12-08T23:00",
                            "KSIĄŻĘ I ŻEBRAK – WIDOWISKO TEATRU TELEWIZJI"}}
            << "2026-12-08T21:30"
            << "tvp1.tv : 21:10 - KSIĄŻĘ I ŻEBRAK - WIDOWISKO TEATR...";
        QTest::newRow("gap between programmes")
            << evening.mid(0, 1) + evening.mid(2) << "2026-12-08T20:30" << kNoInformation;
        QTest::newRow("before the first programme")
            << evening << "2026-12-08T06:00" << kNoInformation;
        QTest::newRow("programme without a stop")
            << QList<Slot>{{kNews.start, "", kNews.title}} << "2026-12-08T19:45" << kNoInformation;
        QTest::newRow("day without listings")
            << QList<Slot>{} << "2026-12-08T19:45" << kNoInformation;
        QTest::newRow("listings of another day") << evening << "2026-12-10T19:45" << kNoInformation;
    }

    void nowPlaying()
    {
        QFETCH(QList<Slot>, schedule);
        QFETCH(QString, now);
        QFETCH(QString, expected);
        const QByteArray page =
            listingPage(makeChannel(schedule), QDateTime::fromString(now, Qt::ISODate));
        QVERIFY(page.startsWith("<html"));
        QVERIFY(page.count("trwa.gif") <= 1);
        QCOMPARE(nowPlayingOf(page, "tvp1.tv"), *unicodeToWin1250(expected));
    }

    // The pages of the nights the clocks change: each holds the programmes of its calendar day
    // (23 or 25 hours), in order, and the on-air mark is on the right row at the instants around
    // the change, also in the hour that repeats.
    void summerTime_data()
    {
        QTest::addColumn<QList<Slot>>("schedule");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("expected");

        const QStringList spring28{"22:00 Wczoraj", "23:30 Kino nocne"};
        const QStringList spring29{"23:30 Kino nocne", "00:30 Muzyka", "01:45 Przez zmianę",
                                   "03:15 Dzień", "23:59 Ostatnia minuta"};
        const QStringList spring30{"00:00 Jutro"};
        // The rows of one of the two days' schedules.
        const auto day = [](const QList<Slot>& schedule) {
            return [schedule](const char* name, const char* now, const QStringList& rows,
                              const char* line) {
                QTest::newRow(name) << schedule << now << rows << QString("tvp1.tv : ") + line;
            };
        };
        const auto spring = day(kSpring);
        spring("spring: the day before, last second", "2026-03-28T23:59:59+01:00", spring28,
               "23:30 - Kino nocne");
        spring("spring: first second of the day", "2026-03-29T00:00:00+01:00", spring29,
               "23:30 - Kino nocne");
        spring("spring: last second before the gap", "2026-03-29T01:59:59+01:00", spring29,
               "01:45 - Przez zmianę");
        spring("spring: first second after the gap", "2026-03-29T03:00:00+02:00", spring29,
               "01:45 - Przez zmianę");
        spring("spring: the end of the programme across the gap", "2026-03-29T03:15:00+02:00",
               spring29, "03:15 - Dzień");
        spring("spring: last second of the 23-hour day", "2026-03-29T23:59:59+02:00", spring29,
               "23:59 - Ostatnia minuta");
        spring("spring: the next day", "2026-03-30T00:00:00+02:00", spring30, "00:00 - Jutro");

        const QStringList autumn24{"22:00 Wczoraj", "23:30 Kino nocne"};
        const QStringList autumn25{"23:30 Kino nocne",     "00:30 Muzyka",     "02:30 Noc letnia",
                                   "02:50 Przez zmianę",   "02:30 Noc zimowa", "03:15 Dzień",
                                   "23:59 Ostatnia minuta"};
        const QStringList autumn26{"00:00 Jutro"};
        const auto autumn = day(kAutumn);
        autumn("autumn: the day before, last second", "2026-10-24T23:59:59+02:00", autumn24,
               "23:30 - Kino nocne");
        autumn("autumn: first second of the day", "2026-10-25T00:00:00+02:00", autumn25,
               "23:30 - Kino nocne");
        autumn("autumn: 02:30 summer time starts", "2026-10-25T02:30:00+02:00", autumn25,
               "02:30 - Noc letnia");
        autumn("autumn: last second of summer time", "2026-10-25T02:59:59+02:00", autumn25,
               "02:50 - Przez zmianę");
        autumn("autumn: the hour repeats", "2026-10-25T02:00:00+01:00", autumn25,
               "02:50 - Przez zmianę");
        autumn("autumn: the end of the programme across the change", "2026-10-25T02:29:59+01:00",
               autumn25, "02:50 - Przez zmianę");
        autumn("autumn: 02:30 winter time", "2026-10-25T02:30:00+01:00", autumn25,
               "02:30 - Noc zimowa");
        autumn("autumn: last second of the 25-hour day", "2026-10-25T23:59:59+01:00", autumn25,
               "23:59 - Ostatnia minuta");
        autumn("autumn: the next day", "2026-10-26T00:00:00+01:00", autumn26, "00:00 - Jutro");
    }

    void summerTime()
    {
        QFETCH(QList<Slot>, schedule);
        QFETCH(QString, now);
        QFETCH(QStringList, rows);
        QFETCH(QString, expected);
        const QDateTime at = QDateTime::fromString(now, Qt::ISODate);
        QVERIFY(at.isValid());
        const QByteArray page = listingPage(makeChannel(schedule), at);
        QCOMPARE(rowsOf(page), rows);
        QCOMPARE(page.count("trwa.gif"), 1);
        QCOMPARE(win1250ToUnicode(nowPlayingOf(page, "tvp1.tv")), expected);
    }

    void shownTitles_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shown");
        QTest::newRow("quotes") << "Kino relaks: „Kiler” i ‘Kiler-ów 2-óch’"
                                << "Kino relaks: \"Kiler\" i 'Kiler-ów 2-óch'";
        QTest::newRow("ampersand, no entity") << "Tom & Jerry &amp; spółka"
                                              << "Tom & Jerry &amp; spółka";
        QTest::newRow("angle brackets") << "Gracze <> twórcy <b>"
                                        << "Gracze () twórcy (b)";
        QTest::newRow("pipe") << "Łódź | Kraków"
                              << "Łódź / Kraków";
        QTest::newRow("euro, dash, ellipsis") << "Wygraj 5 € – teraz…"
                                              << "Wygraj 5 EUR - teraz...";
        QTest::newRow("accents it lacks") << "Crème brûlée, señor"
                                          << "Creme brulée, senor";
        QTest::newRow("ligature, full width") << "ﬁlm ＴＶ"
                                              << "film TV";
        QTest::newRow("decomposed input") << "S\u0301wiat z\u0307ycia"
                                          << "Świat życia";
        QTest::newRow("white space") << "  Wiadomości\t\r\n  nocne\u00A0 "
                                     << "Wiadomości nocne";
        QTest::newRow("format and control characters") << "Ze\u200Bro\u0007 "
                                                       << "Zero";
        QTest::newRow("no Latin equivalent") << "日本 😀 TV"
                                             << "?? ? TV";
    }

    void shownTitles()
    {
        QFETCH(QString, title);
        QFETCH(QString, shown);
        QCOMPARE(shownTitle(title), shown);
    }

    // Every character of ISO-8859-2 shows as itself in ekranik (Ľ, which no byte can show, as
    // L), whatever ekranik's byte conversion does to it.
    void latin2Repertoire_data()
    {
        QTest::addColumn<QString>("character");
        QTest::addColumn<QString>("shown");
        QStringDecoder latin2("ISO-8859-2");
        QVERIFY(latin2.isValid());
        for (int byte = 0xA1; byte <= 0xFF; ++byte) {
            const QString c = latin2.decode(QByteArray(1, static_cast<char>(byte)));
            // Ľ and the caron ˇ have no byte that ekranik shows as them.
            const QString shown = c == u"Ľ" ? u"L"_qs : c == u"ˇ" ? QString() : c;
            QTest::addRow("0x%X %s", byte, qPrintable(c)) << c << shown;
        }
    }

    void latin2Repertoire()
    {
        QFETCH(QString, character);
        QFETCH(QString, shown);
        QCOMPARE(shownTitle("a" + character + "a"), "a" + shown + "a");
    }

    void requests_data()
    {
        using S = ListingRequest::Status;
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<S>("status");
        QTest::addColumn<int>("station");
        QTest::addColumn<QString>("channel");
        QTest::newRow("query form")
            << QByteArray("/.?&T%5Bstation%5D=67&T%5Bcategory%5D=ALL&T%5Btime%5D=0") << S::Ok << 67
            << QString();
        QTest::newRow("page form")
            << QByteArray("/program.html?T%5Bstation%5D=219") << S::Ok << 219 << QString();
        QTest::newRow("dot dropped")
            << QByteArray("/?&T%5Bstation%5D=5") << S::Ok << 5 << QString();
        QTest::newRow("lower-case escapes")
            << QByteArray("/program.html?T%5bstation%5d=1") << S::Ok << 1 << QString();
        QTest::newRow("other keys ignored")
            << QByteArray("/.?x=%41&T%5Bstation%5D=0&&y") << S::Ok << 0 << QString();
        QTest::newRow("no query") << QByteArray("/program.html") << S::BadRequest << 0 << QString();
        QTest::newRow("no station")
            << QByteArray("/.?&T%5Bcategory%5D=ALL") << S::BadRequest << 0 << QString();
        QTest::newRow("empty station")
            << QByteArray("/program.html?T%5Bstation%5D=") << S::BadRequest << 0 << QString();
        QTest::newRow("station not a number")
            << QByteArray("/program.html?T%5Bstation%5D=tvp") << S::BadRequest << 0 << QString();
        QTest::newRow("space in number")
            << QByteArray("/program.html?T%5Bstation%5D=+1") << S::BadRequest << 0 << QString();
        QTest::newRow("too long a number") << QByteArray("/program.html?T%5Bstation%5D=99999999999")
                                           << S::BadRequest << 0 << QString();
        QTest::newRow("station twice")
            << QByteArray("/program.html?T%5Bstation%5D=1&T%5Bstation%5D=2") << S::BadRequest << 0
            << QString();
        QTest::newRow("broken escape")
            << QByteArray("/program.html?T%5Bstation%5D=1%") << S::BadRequest << 0 << QString();
        QTest::newRow("unknown page")
            << QByteArray("/index.html?T%5Bstation%5D=1") << S::NotFound << 0 << QString();
        QTest::newRow("channel by id")
            << QByteArray("/program.html?T%5Bchannel%5D=%C5%81%C3%B3d%C5%BA%20TV") << S::Ok << 0
            << "Łódź TV";
        QTest::newRow("channel in the query form")
            << QByteArray("/.?&T%5Bchannel%5D=tvp1.pl&T%5Btime%5D=0") << S::Ok << 0 << "tvp1.pl";
        QTest::newRow("channel and station")
            << QByteArray("/program.html?T%5Bchannel%5D=a&T%5Bstation%5D=1") << S::BadRequest << 0
            << QString();
        QTest::newRow("channel twice")
            << QByteArray("/program.html?T%5Bchannel%5D=a&T%5Bchannel%5D=a") << S::BadRequest << 0
            << QString();
        QTest::newRow("channel not UTF-8")
            << QByteArray("/program.html?T%5Bchannel%5D=%FF") << S::BadRequest << 0 << QString();
        QTest::newRow("empty channel")
            << QByteArray("/program.html?T%5Bchannel%5D=") << S::BadRequest << 0 << QString();
    }

    void requests()
    {
        QFETCH(QByteArray, target);
        QFETCH(ListingRequest::Status, status);
        QFETCH(int, station);
        QFETCH(QString, channel);
        const ListingRequest request = parseListingRequest(target.toStdString());
        QCOMPARE(request.status, status);
        QCOMPARE(request.station, station);
        QCOMPARE(request.channel, channel);
        QCOMPARE(request.reason.isEmpty(), status == ListingRequest::Status::Ok);
    }
};

// The router: a 503 for every page but /channels.json until the first listings are in; then the
// station pages,
// each built once and kept until its programme changes; the front page, which follows the
// minute on its own; and the station lines, which name the portal as the Host header does when
// that is a plain host and port.
void TestPortalPage::router()
{
    StationMap stations;
    stations.insert(1, "tvp1.pl");
    std::atomic<qint64> now{localInstant("2026-12-08T20:00")};
    PortalRouter router(stations, [&now] { return QDateTime::fromMSecsSinceEpoch(now); });
    router.setOwnAddress("127.0.0.1:8080");
    for (const char* target : {"/", "/stations.txt", "/program.html?T%5Bstation%5D=1"}) {
        const PortalRouter::Reply reply = router.answer(target);
        QCOMPARE(reply.status, 503);
        QCOMPARE(reply.retryAfter, PortalRouter::kRetryAfterSeconds);
    }
    QCOMPARE(router.answer("/program.html").status, 400);
    const auto reading = QJsonDocument::fromJson(R"({"state": "reading", "problems": [],
                                                    "channels": []})")
                             .object();
    QCOMPARE(channelsJson(router), reading);

    // A source that fails: its problem, with the line only where there is one; a first reading
    // that fails says so.
    SourceProblem broken{SourceProblem::Kind::BrokenXml, "/tv/\"a\".xml", 12, 0, "bad"};
    SourceProblem refused{SourceProblem::Kind::HttpStatus, "http://jan:***@tv/x.xml", 0, 404,
                          "HTTP status 404"};
    router.setProblems({broken, refused});
    router.setFirstReadingFailed();
    QCOMPARE(channelsJson(router)["state"], "failed");
    QCOMPARE(channelsJson(router)["problems"],
             QJsonArray({QJsonObject{{"source", "/tv/\"a\".xml"},
                                     {"line", 12},
                                     {"reason", "Plik nie jest poprawnym XML-em: błąd w wierszu "
                                                "12 (bad)."}},
                         QJsonObject{{"source", "http://jan:***@tv/x.xml"},
                                     {"reason", "Serwer odpowiedział błędem HTTP 404."}}}));
    QCOMPARE(router.answer("/").status, 503);

    Listings listings;
    listings.addChannel("tvp1.pl", "TVP 1", {"TVP 1", "Jedynka"});
    for (const Programme& p : makeChannel({kNews, kHit}).programmes)
        listings.addProgramme("tvp1.pl", p);
    listings.addChannel("late.pl", programText("Późny"), {"Późny"});
    listings.addProgramme("late.pl", makeChannel({kNight}).programmes.first());
    listings.addChannel("empty.pl", "Pusty", {});
    listings.finish();
    router.replaceListings(listings);
    router.setProblems({});
    const std::string target = "/program.html?T%5Bstation%5D=1";
    const PortalRouter::Reply page = router.answer(target);
    QCOMPARE(page.status, 200);
    QCOMPARE(win1250ToUnicode(nowPlayingOf(page.body, "tvp1.tv")), "tvp1.tv : 19:30 - Wiadomości");
    // Built once and held once, however many clients it is sent to.
    QVERIFY(router.answer(target).body.constData() == page.body.constData());
    QVERIFY(router.answer("/").body.contains("19:30 Wiadomości"));
    QVERIFY(
        router.answer("/stations.txt", "tv.example:81").body.contains("|http://tv.example:81/"));
    QVERIFY(router.answer("/stations.txt", "a b").body.contains("|http://127.0.0.1:8080/"));

    // Each channel in the listings' order, its station line the one /stations.txt gives.
    const QJsonObject ready = channelsJson(router, "tv.example:81");
    QCOMPARE(ready["state"], "ready");
    QCOMPARE(ready["problems"], QJsonArray());
    const QJsonArray channels = ready["channels"].toArray();
    QCOMPARE(channels.size(), 3);
    QCOMPARE(
        channels[0],
        QJsonObject(
            {{"id", "tvp1.pl"},
             {"names", QJsonArray({"TVP 1", "Jedynka"})},
             {"station", "tvp.1.tv|http://tv.example:81/program.html?T%5Bstation%5D=1"},
             {"now", QJsonObject{{"start", "2026-12-08T19:30:00+01:00"}, {"title", "Wiadomości"}}},
             {"until", "2026-12-08T21:10:00+01:00"}}));
    const QByteArray stationLines = router.answer("/stations.txt", "tv.example:81").body;
    for (const QJsonValue& channel : channels)
        QVERIFY(stationLines.contains(channel["station"].toString().toLatin1() + "\r\n"));
    // Nothing on air yet: no "now"; no programmes at all: no "until" either.
    QCOMPARE(channels[1]["id"], "late.pl");
    QCOMPARE(channels[1]["now"], QJsonValue::Null);
    QCOMPARE(channels[1]["until"], "2026-12-09T00:30:00+01:00");
    QCOMPARE(channels[2]["names"], QJsonArray());
    QCOMPARE(channels[2]["now"], QJsonValue::Null);
    QCOMPARE(channels[2]["until"], QJsonValue::Null);
    QVERIFY(channelsJson(router, "a b")["channels"][0]["station"].toString().contains(
        "|http://127.0.0.1:8080/"));

    // The page kept for the first programme is not the second's.
    now = localInstant("2026-12-08T20:30");
    QCOMPARE(win1250ToUnicode(nowPlayingOf(router.answer(target).body, "tvp1.tv")),
             "tvp1.tv : [HIT] 20:10 - Ojciec Mateusz");
    QTRY_VERIFY(router.answer("/").body.contains("20:10 Ojciec Mateusz"));
    QTRY_COMPARE(channelsJson(router)["channels"][0]["now"]["title"], "Ojciec Mateusz");
}

// The router through both nights the clocks change, its clock moving on: the kept station page,
// the front page and /channels.json follow the programme on air, and tell the two programmes
// starting at 02:30 apart by their offset.
void TestPortalPage::routerAcrossClockChanges()
{
    StationMap stations;
    stations.insert(1, "tvp1.pl");
    std::atomic<qint64> now{localInstant("2026-03-29T01:59:59+01:00")};
    PortalRouter router(stations, [&now] { return QDateTime::fromMSecsSinceEpoch(now); });
    Listings listings;
    listings.addChannel("tvp1.pl", "TVP 1", {"TVP 1"});
    for (const Programme& p : makeChannel(kSpring + kAutumn).programmes)
        listings.addProgramme("tvp1.pl", p);
    listings.finish();
    router.replaceListings(listings);

    struct Step {
        const char* now;
        const char* start; // as /channels.json gives it
        QString title;
    };
    const QList<Step> steps{
        {"2026-03-29T01:59:59+01:00", "2026-03-29T01:45:00+01:00", "Przez zmianę"},
        {"2026-03-29T03:00:00+02:00", "2026-03-29T01:45:00+01:00", "Przez zmianę"},
        {"2026-03-29T03:14:59+02:00", "2026-03-29T01:45:00+01:00", "Przez zmianę"},
        {"2026-03-29T03:15:00+02:00", "2026-03-29T03:15:00+02:00", "Dzień"},
        {"2026-10-25T02:45:00+02:00", "2026-10-25T02:30:00+02:00", "Noc letnia"},
        {"2026-10-25T02:15:00+01:00", "2026-10-25T02:50:00+02:00", "Przez zmianę"},
        {"2026-10-25T02:30:00+01:00", "2026-10-25T02:30:00+01:00", "Noc zimowa"},
        {"2026-10-25T23:59:59+01:00", "2026-10-25T23:59:00+01:00", "Ostatnia minuta"},
        {"2026-10-26T00:30:00+01:00", "2026-10-26T00:00:00+01:00", "Jutro"},
    };
    for (const Step& step : steps) {
        now = localInstant(step.now);
        const QString time = QString::fromLatin1(step.start).mid(11, 5);
        QCOMPARE(win1250ToUnicode(
                     nowPlayingOf(router.answer("/program.html?T%5Bstation%5D=1").body, "tvp1.tv")),
                 "tvp1.tv : " + time + " - " + step.title);
        QTRY_COMPARE(channelsJson(router)["channels"][0]["now"],
                     QJsonObject({{"start", step.start}, {"title", step.title}}));
        QTRY_VERIFY2(QString::fromUtf8(router.answer("/").body).contains(time + ' ' + step.title),
                     step.now);
    }
}

void TestPortalPage::frontPageLanguage_data()
{
    QTest::addColumn<QByteArray>("acceptLanguage");
    QTest::addColumn<bool>("english");

    QTest::newRow("no header") << QByteArray() << false;
    QTest::newRow("English") << QByteArray("en") << true;
    QTest::newRow("British English, then anything") << QByteArray("en-GB,en;q=0.9,*;q=0.5") << true;
    QTest::newRow("Polish") << QByteArray("pl-PL,pl;q=0.9,en;q=0.8") << false;
    QTest::newRow("English before Polish") << QByteArray("en-US, pl;q=0.7") << true;
    QTest::newRow("Polish weighs more, named later") << QByteArray("en;q=0.5, pl;q=0.6") << false;
    QTest::newRow("both as much: Polish") << QByteArray("en;q=0.8,pl;q=0.8") << false;
    QTest::newRow("neither: Polish") << QByteArray("de-DE,fr;q=0.5") << false;
    QTest::newRow("anything: Polish") << QByteArray("*") << false;
    QTest::newRow("English refused") << QByteArray("en;q=0") << false;
    QTest::newRow("case and spaces") << QByteArray(" EN-us ; Q=1 ") << true;
    QTest::newRow("a weight that is none") << QByteArray("en;q=x, pl;q=0.1") << false;
}

// The front page and the reasons of /channels.json speak the language the client asks for of
// the two there are, Polish unless English is wanted more, and say caches must keep one for
// each; the rest of /channels.json, the station pages and the station list are data, the same
// whatever is asked.
void TestPortalPage::frontPageLanguage()
{
    QFETCH(QByteArray, acceptLanguage);
    QFETCH(bool, english);

    StationMap stations;
    stations.insert(1, "tvp1.pl");
    PortalRouter router(
        stations, [] { return QDateTime::fromMSecsSinceEpoch(localInstant("2026-12-08T20:30")); });
    Listings listings;
    listings.addChannel("tvp1.pl", "TVP 1", {"TVP 1"});
    for (const Programme& p : makeChannel({kNews, kHit}).programmes)
        listings.addProgramme("tvp1.pl", p);
    listings.finish();
    router.replaceListings(listings);
    router.setProblems({{SourceProblem::Kind::BrokenXml, "/tv/a.xml", 12, 0, "bad"}});

    const std::string_view languages(acceptLanguage.constData(), acceptLanguage.size());
    const PortalRouter::Reply front = router.answer("/", "127.0.0.1:8080", languages);
    const QString html = QString::fromUtf8(front.body);
    QCOMPARE(front.status, 200);
    QVERIFY(front.byLanguage);
    QCOMPARE(html.contains(QStringLiteral("<html lang=\"en\">")), english);
    QCOMPARE(html.contains(QStringLiteral("<html lang=\"pl\">")), !english);
    QCOMPARE(html.contains(QStringLiteral("<h1>TV listings for ekranik</h1>")), english);
    QCOMPARE(html.contains(QStringLiteral("<th>Kanał</th>")), !english);
    // The listings' own words stay.
    QVERIFY(html.contains(QStringLiteral("20:10 Ojciec Mateusz")));
    QCOMPARE(front.freshness.etag == router.answer("/", "127.0.0.1:8080").freshness.etag, !english);

    const PortalRouter::Reply channels = router.answer("/channels.json", "h:1", languages);
    QVERIFY(channels.byLanguage);
    // Kept by caches as long as the front page, and tagged by its own bytes.
    QCOMPARE(channels.freshness.maxAge, front.freshness.maxAge);
    QCOMPARE(channels.freshness.lastModified, front.freshness.lastModified);
    QCOMPARE(channels.freshness.etag, entityTag(channels.body));
    QJsonObject json = channelsJson(router, "h:1", languages);
    QCOMPARE(json["problems"][0]["reason"],
             english ? "The file is not well-formed XML: error at line 12 (bad)."
                     : "Plik nie jest poprawnym XML-em: błąd w wierszu 12 (bad).");
    QJsonObject polish = channelsJson(router, "h:1");
    for (QJsonObject* each : {&json, &polish})
        each->insert("problems", QJsonArray());
    QCOMPARE(json, polish);

    for (const char* target : {"/stations.txt", "/program.html?T%5Bstation%5D=1"}) {
        const PortalRouter::Reply data = router.answer(target, "127.0.0.1:8080", languages);
        QCOMPARE(data.body, router.answer(target, "127.0.0.1:8080").body);
        QVERIFY(!data.byLanguage);
    }
}

int main(int argc, char* argv[])
{
    useTestTimeZone();
    QCoreApplication app(argc, argv);
    TestPortalPage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portal_page.moc"

// What caches may keep, and for how long: a station's page until its next programme starts or
// midnight (at most five minutes), the front page to the end of its minute, the station list
// and a 404 a minute, a 400 or a 503 not at all. Two portals serving the same listings give the
// same bytes and tags in the same minute; a page's date is when it became what it is.
void TestPortalPage::caching()
{
    StationMap stations;
    stations.insert(1, "tvp1.pl");
    stations.insert(2, "late.pl");
    std::atomic<qint64> now{localInstant("2026-12-08T20:00")};
    const auto clock = [&now] { return QDateTime::fromMSecsSinceEpoch(now); };
    PortalRouter first(stations, clock);
    const std::string page = "/program.html?T%5Bstation%5D=1";
    QCOMPARE(first.answer(page).freshness.maxAge, std::nullopt); // 503, reading
    Listings listings;
    listings.addChannel("tvp1.pl", "TVP 1", {"TVP 1"});
    for (const Programme& p : makeChannel({kNews, kHit, kLate}).programmes)
        listings.addProgramme("tvp1.pl", p);
    listings.addChannel("late.pl", "Późny", {"Późny"});
    listings.addProgramme("late.pl", makeChannel({kNight}).programmes.first());
    listings.finish();
    first.replaceListings(listings);
    const qint64 listingsAt = now / 1000;

    const auto ageAt = [&](const char* time, const std::string& target) {
        now = localInstant(QString::fromLatin1(time));
        return first.answer(target).freshness.maxAge;
    };
    QCOMPARE(ageAt("2026-12-08T20:00", page), std::optional(300)); // 20:10 is 600 s away
    QCOMPARE(ageAt("2026-12-08T20:08:30", page), std::optional(90));
    QCOMPARE(ageAt("2026-12-08T20:09:59.500", page), std::optional(1));
    // A programme running past midnight: the page of the day ends at midnight all the same.
    QCOMPARE(ageAt("2026-12-08T23:57", "/program.html?T%5Bstation%5D=2"), std::optional(180));
    QCOMPARE(ageAt("2026-12-08T23:58:30", page), std::optional(90)); // midnight
    QCOMPARE(ageAt("2026-12-08T20:00:15", "/"), std::optional(45));
    QCOMPARE(ageAt("2026-12-08T20:00:15", "/stations.txt"), std::optional(60));
    QCOMPARE(ageAt("2026-12-08T20:00:15", "/program.html?T%5Bstation%5D=9"), std::optional(60));
    QCOMPARE(ageAt("2026-12-08T20:00:15", "/program.html"), std::nullopt);

    // The page from 20:10 on dates from 20:10; one of before, from the listings' coming.
    now = localInstant("2026-12-08T20:30");
    const PortalRouter::Reply hit = first.answer(page);
    QCOMPARE(hit.freshness.lastModified, localInstant("2026-12-08T20:10") / 1000);
    QCOMPARE(hit.freshness.etag, entityTag(hit.body));
    QCOMPARE(first.answer("/stations.txt").freshness.lastModified, listingsAt);

    // A second portal, started later with the same listings, in the same minute (the first
    // has its front page of this minute once its builder has seen the minute change).
    PortalRouter second(stations, clock);
    second.replaceListings(listings);
    for (const std::string& target : {page, std::string("/"), std::string("/stations.txt")}) {
        const auto tag = [&target](const PortalRouter& router) {
            return router.answer(target, "tv.example").freshness.etag;
        };
        QTRY_COMPARE(tag(second), tag(first));
        QCOMPARE(second.answer(target, "tv.example").body, first.answer(target, "tv.example").body);
    }
    QVERIFY(first.answer(page).freshness.etag != entityTag(first.answer(page).body + " "));
}

// Whether a client's copy is still good: If-None-Match decides alone when sent; otherwise an
// If-Modified-Since no earlier than the page's date. Dates in the three forms HTTP knows.
void TestPortalPage::validators_data()
{
    QTest::addColumn<QByteArray>("ifNoneMatch");
    QTest::addColumn<QByteArray>("ifModifiedSince");
    QTest::addColumn<bool>("valid");
    // The page: tag "abc", dated Tue, 08 Dec 2026 19:10:00 GMT.
    QTest::newRow("its tag") << QByteArray("\"abc\"") << QByteArray() << true;
    QTest::newRow("its tag, weak, in a list")
        << QByteArray("\"x\", W/\"abc\"") << QByteArray() << true;
    QTest::newRow("any") << QByteArray("*") << QByteArray() << true;
    QTest::newRow("another tag, though not modified since")
        << QByteArray("\"abd\"") << QByteArray("Tue, 08 Dec 2026 19:10:00 GMT") << false;
    QTest::newRow("a tag unquoted") << QByteArray("abc") << QByteArray() << false;
    QTest::newRow("since its date")
        << QByteArray() << QByteArray("Tue, 08 Dec 2026 19:10:00 GMT") << true;
    QTest::newRow("since a second before")
        << QByteArray() << QByteArray("Tue, 08 Dec 2026 19:09:59 GMT") << false;
    QTest::newRow("RFC 850 date") << QByteArray() << QByteArray("Tuesday, 08-Dec-26 19:10:00 GMT")
                                  << true;
    QTest::newRow("asctime date") << QByteArray() << QByteArray("Tue Dec  8 19:10:00 2026") << true;
    QTest::newRow("not a date") << QByteArray() << QByteArray("yesterday") << false;
    QTest::newRow("a date with more after it")
        << QByteArray() << QByteArray("Tue, 08 Dec 2026 19:10:00 GMT; length=1") << false;
    QTest::newRow("no such day") << QByteArray() << QByteArray("Tue, 31 Nov 2026 19:10:00 GMT")
                                 << false;
    QTest::newRow("nothing sent") << QByteArray() << QByteArray() << false;
}

void TestPortalPage::validators()
{
    QFETCH(QByteArray, ifNoneMatch);
    QFETCH(QByteArray, ifModifiedSince);
    QFETCH(bool, valid);
    const qint64 date = QDateTime(QDate(2026, 12, 8), QTime(19, 10), Qt::UTC).toSecsSinceEpoch();
    QCOMPARE(httpDate(date), "Tue, 08 Dec 2026 19:10:00 GMT");
    const Freshness page{300, "\"abc\"", date};
    QCOMPARE(stillValid(page, ifNoneMatch.toStdString(), ifModifiedSince.toStdString()), valid);
    // A page without a date is never taken for unmodified by a date alone.
    QVERIFY(!stillValid(Freshness{300, "\"abc\"", 0}, {}, "Tue, 08 Dec 2026 19:10:00 GMT"));
}
