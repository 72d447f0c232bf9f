// The update engine without a window: the tick and its queue with the hot start and the
// frequencies, and what completed and failed downloads leave behind. The station list is a
// plain item model; downloads go to the loopback test server; the tests call the tick
// themselves instead of waiting for the timer.

#include "net/httpfetch.h"
#include "support/faultserver.h"
#include "support/listingspage.h"
#include "support/pageprogrammetext.h"
#include "support/scratchfolder.h"
#include "text/linerole.h"
#include "update/updateengine.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>

namespace {

using Lines = QList<QByteArray>;

FaultServer::Reply serving(const QByteArray& page)
{
    return {.head = FaultServer::okHead(page.size()), .body = page};
}

FaultServer::Reply failing(int status)
{
    return {.head = FaultServer::statusHead(status, 0)};
}

// The station numbers the server was asked for, in order.
QList<int> requestedStations(const FaultServer& server)
{
    QList<int> numbers;
    static const QRegularExpression station(QStringLiteral("station%5D=(\\d+)"));
    for (const QByteArray& request : server.requests())
        numbers << station.match(QString::fromLatin1(requestLine(request))).captured(1).toInt();
    return numbers;
}

// A listings page whose programme on air is followed by one more row.
QByteArray pageWithNext(const QByteArray& time, const QByteArray& title, const QByteArray& nextTime,
                        const QByteArray& nextTitle)
{
    return listingsPage(time, title) + "<tr><td>" + nextTime +
           "</td><td><a href=\"javascript:okno(8)\">" + nextTitle + "</a></td></tr>";
}

} // namespace

class TestUpdateEngine : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchFolder> folder;
    std::unique_ptr<FaultServer> server;
    QStandardItemModel stations;
    std::unique_ptr<HttpFetch> downloader;
    std::unique_ptr<UpdateEngine> engine;
    QList<Lines> published;
    QStringList logged;

    // An engine over `count` stations "s1.tv" ... on the test server, the given ones checked,
    // its station files loaded unless told otherwise.
    void start(int count, const QList<int>& checked, bool activated = true)
    {
        for (int n = 1; n <= count; ++n) {
            const QByteArray entry = "s" + QByteArray::number(n) + ".tv|" +
                                     server->url("/.?&T%5Bstation%5D=" + QByteArray::number(n) +
                                                 "&T%5Bcategory%5D=ALL&T%5Btime%5D=0");
            setEntry(n - 1, entry, checked.contains(n - 1));
        }
        engine.reset();
        downloader = std::make_unique<HttpFetch>();
        engine = std::make_unique<UpdateEngine>(&stations, downloader.get());
        connect(engine.get(), &UpdateEngine::publishable, this,
                [this](const Lines& lines) { published << lines; });
        connect(engine.get(), &UpdateEngine::logged, this,
                [this](const QStringList& lines) { logged += lines; });
        if (activated)
            engine->activate();
    }

    void setEntry(int row, const QByteArray& entry, bool checked = true)
    {
        auto* item = new QStandardItem(QString::fromLatin1(entry));
        item->setData(entry, kLineRole);
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        stations.setItem(row, item);
    }

    QString log() const { return logged.join(QLatin1Char('\n')); }
    Lines lines() const { return engine->nowPlaying()->lines(); }
    int ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            engine->Timer1Timer();
        return engine->updateTimer().interval();
    }

private slots:
    void initTestCase() { HttpFetch::globalInit(); }

    void init()
    {
        folder = std::make_unique<ScratchFolder>();
        QVERIFY(folder->isValid());
        server = std::make_unique<FaultServer>();
        server->setReply(serving(listingsPage("20:00", "Film")));
        stations.clear();
        published.clear();
        logged.clear();
    }

    void cleanup()
    {
        engine.reset();
        server.reset();
        folder.reset();
    }

    // 13 stations, all checked: the first tick comes after 8 s and makes the ticks a second
    // apart; positions 1 to 13 fetch their stations; the 14th tick wraps to 20 s and fetches
    // nothing; the next cycle starts again with station 1.
    void hotStartWalksEveryStation()
    {
        start(13, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
        QCOMPARE(engine->updateTimer().interval(), 8000);
        QVERIFY(engine->state().hotStart);
        QSignalSpy akt(engine.get(), &UpdateEngine::aktChanged);

        QCOMPARE(ticks(1), 1000);
        QCOMPARE(requestedStations(*server), QList<int>{1});
        QCOMPARE(ticks(12), 1000);
        QCOMPARE(requestedStations(*server),
                 (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
        QCOMPARE(engine->state().queuePosition, 13);
        QCOMPARE(lines().size(), 13);
        QCOMPARE(lines().first(), QByteArray("s1.tv : 20:00 - Film"));
        QCOMPARE(akt.last().first().toString(), QStringLiteral("Udane aktualizacje: 13 razy"));

        QCOMPARE(ticks(1), 20000);
        QVERIFY(!engine->state().hotStart);
        QCOMPARE(engine->state().queuePosition, 0);
        QCOMPARE(server->requestCount(), 13);
        QVERIFY(log().contains(QStringLiteral("KONIEC HOT START !!!!")));

        QCOMPARE(ticks(1), 20000);
        QCOMPARE(requestedStations(*server).last(), 1);
        // Every hot-start tick says so, the wrapping one included.
        QCOMPARE(log().count(QStringLiteral("HOT START / HOT START")), 14);
        // Each tick with a complete list publishes it: from the 13th on.
        QCOMPARE(published.size(), 3);
        QCOMPARE(published.first().size(), 13);
    }

    // Only station 7 checked: only the tick at position 7 fetches, and only checked stations
    // write their three log lines.
    void onlyTheCheckedStationIsFetched()
    {
        start(13, {6});
        ticks(14);
        QCOMPARE(requestedStations(*server), QList<int>{7});
        QCOMPARE(log().count(QStringLiteral(".mrowka: Parsuje program")), 14);
        QVERIFY(log().contains(QStringLiteral(".mrowka: Parsuje program 7s7.tv\n"
                                              ".mrowka: Kolejka>>7\n"
                                              ".mrowka: Aktualnie zazn programow 1\n"
                                              ".mrowka: Sciagacz ustawiony... \n"
                                              ".mrowka: Sciagam... s7.tv")));
        QVERIFY(!log().contains(QStringLiteral("Parsuje program 6")));
    }

    // Nothing checked: no station lines, no fetches, and the empty list is complete at every
    // tick, with this tick's clock text.
    void noCheckedStationPublishesTheEmptyList()
    {
        start(3, {});
        QSignalSpy publishable(engine.get(), &UpdateEngine::publishable);
        QSignalSpy clock(engine.get(), &UpdateEngine::clockChanged);
        ticks(4);
        QCOMPARE(server->requestCount(), 0);
        QVERIFY(!log().contains(QStringLiteral(".mrowka:")));
        QCOMPARE(published, QList<Lines>(4));
        QCOMPARE(clock.size(), 4);
        QCOMPARE(publishable.last().at(1).toString(), engine->state().clockText());
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d : \\d\\d \\| \\S+"))
                    .match(clock.last().first().toString())
                    .hasMatch());
    }

    // A frequency picked during the hot start waits for the wrap; one picked later applies at
    // once and again after every wrap, which passes through 20 s.
    void frequencies()
    {
        start(3, {});
        ticks(2);
        engine->SetUpdateFrequency(QStringLiteral("slowest"));
        QCOMPARE(engine->updateTimer().interval(), 1000);
        QCOMPARE(ticks(1), 1000);
        QCOMPARE(ticks(1), 60000); // the wrap

        engine->SetUpdateFrequency(QStringLiteral("slow"));
        QCOMPARE(engine->updateTimer().interval(), 40000);
        engine->SetUpdateFrequency(QStringLiteral("Normal")); // not a keyword: stored, no change
        QCOMPARE(engine->updateTimer().interval(), 40000);
        QCOMPARE(engine->state().frequencyKeyword, QStringLiteral("Normal"));
        QCOMPARE(ticks(4), 20000); // the wrap: 20 s, and "Normal" sets nothing
        engine->SetUpdateFrequency(QStringLiteral("extreme"));
        QCOMPARE(engine->updateTimer().interval(), 2000);
        QCOMPARE(ticks(4), 2000);
    }

    // An interval that does not change leaves the countdown running.
    void sameIntervalKeepsTheCountdown()
    {
        start(3, {});
        ticks(4); // after the wrap: 20 s
        engine->start();
        QTest::qWait(50);
        const int left = engine->updateTimer().remainingTime();
        engine->SetUpdateFrequency(QStringLiteral("normal"));
        QVERIFY(engine->updateTimer().remainingTime() <= left);
    }

    // Before the station files are loaded, a tick that meets a checked station ends there:
    // the queue and the clock move, nothing is logged, fetched or published.
    void tickBeforeActivation()
    {
        start(3, {1}, false);
        QSignalSpy clock(engine.get(), &UpdateEngine::clockChanged);
        ticks(3);
        QCOMPARE(engine->state().queuePosition, 3);
        QCOMPARE(server->requestCount(), 0);
        QVERIFY(!log().contains(QStringLiteral(".mrowka:")));
        QVERIFY(published.isEmpty());
        QCOMPARE(clock.size(), 3);
    }

    // While the portal reads its listings nothing is fetched, past the end of the quick pass
    // too; once it is done, a quick pass starts again from the first station, a second a tick.
    void waitingForListings()
    {
        start(3, {0, 2});
        engine->waitForListings(true);
        ticks(6);
        QCOMPARE(server->requestCount(), 0);
        QVERIFY(published.isEmpty());
        QCOMPARE(engine->updateTimer().interval(), 20000);

        engine->waitForListings(false);
        QVERIFY(engine->state().hotStart);
        QCOMPARE(engine->updateTimer().interval(), 1000);
        ticks(3);
        QCOMPARE(requestedStations(*server), (QList<int>{1, 3}));
        QCOMPARE(published.size(), 1);
    }

    void emptyListWrapsAtEveryTick()
    {
        start(0, {});
        engine->SetUpdateFrequency(QStringLiteral("fast"));
        QCOMPARE(ticks(1), 10000);
        QCOMPARE(ticks(1), 10000);
        QCOMPARE(log().count(QStringLiteral("KONIEC HOT START !!!!")), 2);
        QCOMPARE(published.size(), 2);
    }

    // Deleting an entry before the queue position skips the entry that moves into the
    // position just passed, for this cycle.
    void deletionBeforeTheQueuePosition()
    {
        start(5, {0, 1, 2, 3, 4});
        ticks(3);
        stations.removeRow(0);
        ticks(2); // position 4 is now station 5; position 5 is the wrap
        QCOMPARE(requestedStations(*server), (QList<int>{1, 2, 3, 5}));
        QCOMPARE(engine->state().queuePosition, 0);
    }

    // A station whose name is not a plain file name is never fetched.
    void unsafeStationNameIsNotFetched()
    {
        start(2, {0, 1});
        setEntry(0, "../evil.tv|" + server->url("/x"));
        ticks(2);
        QCOMPARE(requestedStations(*server), QList<int>{2});
        QVERIFY(log().contains(QStringLiteral("nie jest nazwą pliku: ../evil.tv")));
        QVERIFY(!QFile::exists("../evil.tv"));
    }

    void statisticsCaptions()
    {
        start(1, {0});
        QSignalSpy pobrano(engine.get(), &UpdateEngine::pobranoChanged);
        QSignalSpy akt(engine.get(), &UpdateEngine::aktChanged);
        for (int size : {10240, 20480, 1048576}) {
            server->setReply(serving(QByteArray(size, 'x')));
            engine->StartStationDownload(server->url("/x"), "s1.tv");
        }
        QCOMPARE(pobrano.last().first().toString(), QStringLiteral("Pobrano: 1054 kB | 1 MB"));
        QCOMPARE(akt.last().first().toString(), QStringLiteral("Udane aktualizacje: 3 razy"));
        QCOMPARE(engine->statistics().totalBytes(), 1079296);
    }

    // Progress names the station whose page arrives, with the bytes so far and the length; a
    // name that looks like a placeholder stays a name.
    void progressReports()
    {
        start(1, {0});
        const QByteArray page = listingsPage("21:30", "Wiadomości") + QByteArray(20480, ' ');
        server->setReply(
            {.head = FaultServer::okHead(page.size()), .body = page, .chunkSize = 5120});
        QSignalSpy progress(engine.get(), &UpdateEngine::downloadProgress);
        engine->StartStationDownload(server->url("/x"), "tv%1");
        QVERIFY(progress.size() >= 2);
        for (const QList<QVariant>& report : progress) {
            QCOMPARE(report.at(0).toByteArray(), QByteArray("tv%1"));
            QCOMPARE(report.at(2).toInt(), page.size());
        }
        QCOMPARE(progress.last().at(1).toInt(), page.size());
        QVERIFY(!engine->state().downloadBusy);
    }

    // A tick that changes the interval registers the timer afresh, and the fresh timer fires
    // while the tick waits for a slow page: the nested tick finds the component busy, and every
    // report of the download still names the station whose page is arriving.
    void nestedTickDuringASlowDownload()
    {
        start(2, {0, 1});
        const QByteArray page = listingsPage("20:00", "Film") + QByteArray(3000, ' ');
        server->setReply({.head = FaultServer::okHead(page.size()),
                          .body = page,
                          .chunkSize = 300,
                          .pauseMs = 250});
        QSignalSpy progress(engine.get(), &UpdateEngine::downloadProgress);
        engine->start();
        ticks(1); // hot start: one a second from now, nested in this tick's wait
        QVERIFY(log().contains(QStringLiteral(".mrowka: !!!Nie sciaglem s2.tv")));
        QCOMPARE(server->requestCount(), 1);
        QVERIFY(!progress.isEmpty());
        for (const QList<QVariant>& report : progress)
            QCOMPARE(report.at(0).toByteArray(), QByteArray("s1.tv"));
    }

    // A station that cannot be fetched still files its line, from the page its last good
    // download left or, without one, an empty page's: one dead station must not keep the
    // display from ever being published. Nothing is counted for it.
    void failedStationsStillFileTheirLines()
    {
        start(3, {0, 1, 2});
        FaultServer missing;
        missing.setReply(failing(404));
        setEntry(1,
                 "s2.tv|http://127.0.0.1:" + QByteArray::number(FaultServer::refusedPort()) + "/x");
        setEntry(2, "s3.tv|" + missing.url("/x"));
        const Lines expected{"s1.tv : 20:00 - Film", "s2.tv :  - ", "s3.tv :  - "};
        ticks(3);
        QCOMPARE(lines(), expected);
        QCOMPARE(published, QList<Lines>{expected});
        QCOMPARE(log().count(QStringLiteral(".mrowka|http: blad blad blad")), 2);
        QCOMPARE(engine->statistics().successfulUpdates(), 1);

        // The station fetched before keeps the line of the page it left.
        server->setReply(failing(500));
        engine->clearTimer();
        ticks(4); // the wrap, then the three stations
        QCOMPARE(lines(), expected);
        QCOMPARE(engine->statistics().successfulUpdates(), 1);
        QVERIFY(!engine->state().downloadBusy);
    }

    // The reminder search reads the last title and station: a failed download's line, filed
    // from the page kept from before, must not put an ended programme there.
    void failedDownloadKeepsTheLastTitle()
    {
        start(2, {0, 1});
        QVERIFY(saveListingsPage("s2.tv", "06:00", "Poranek"));
        engine->StartStationDownload(server->url("/x"), "s1.tv");
        server->setReply(failing(500));
        engine->StartStationDownload(server->url("/x"), "s2.tv");
        QCOMPARE(lines(), (Lines{"s1.tv : 20:00 - Film", "s2.tv : 06:00 - Poranek"}));
        QCOMPARE(engine->parser().lastTitle(), QByteArray("Film"));
        QCOMPARE(engine->parser().lastStation(), QByteArray("s1.tv"));
    }

    // Each line keeps the programme after it on its page, the line of a failed download
    // too; a repeated line brings the newer word on what follows.
    void linesKeepTheirNextProgramme()
    {
        using Next = QList<std::optional<NextUp>>;
        start(2, {0, 1});
        server->setReply(serving(pageWithNext("20:00", "Film", "21:00", "Sport")));
        engine->StartStationDownload(server->url("/x"), "s1.tv");
        QFile kept("s2.tv");
        QVERIFY(kept.open(QIODevice::WriteOnly));
        kept.write(pageWithNext("06:00", "Poranek", "07:00", "Serial"));
        kept.close();
        server->setReply(failing(500));
        engine->StartStationDownload(server->url("/x"), "s2.tv");
        QCOMPARE(lines(), (Lines{"s1.tv : 20:00 - Film", "s2.tv : 06:00 - Poranek"}));
        QCOMPARE(engine->nowPlaying()->nextUp(),
                 (Next{NextUp{"20:00", {"21:00", "Sport"}}, NextUp{"06:00", {"07:00", "Serial"}}}));

        server->setReply(serving(pageWithNext("20:00", "Film", "21:05", "Sport")));
        engine->StartStationDownload(server->url("/x"), "s1.tv");
        QCOMPARE(lines().size(), 2);
        QCOMPARE(engine->nowPlaying()->nextUp().first(),
                 std::optional(NextUp{"20:00", {"21:05", "Sport"}}));

        engine->addTestLine("test.tv : 12:00 - Test");
        QCOMPARE(engine->nowPlaying()->nextUp().size(), 3);
        QCOMPARE(engine->nowPlaying()->nextUp().last(), std::nullopt);
        engine->clearNowPlaying();
        QVERIFY(engine->nowPlaying()->nextUp().isEmpty());
    }

    // A, B, A, C, B becomes A, B, C when the next download's line is C; a line that is already
    // there leaves the length as it was but is still logged.
    void duplicatesKeepTheFirst()
    {
        start(1, {0});
        const QByteArray a = "a.tv : 20:00 - Film", b = "b.tv : 20:00 - Film",
                         c = "c.tv : 20:00 - Film";
        for (const QByteArray& line : {a, b, a, c, b})
            engine->addTestLine(line);
        engine->StartStationDownload(server->url("/x"), "c.tv");
        QCOMPARE(lines(), (Lines{a, b, c}));
        engine->StartStationDownload(server->url("/x"), "c.tv");
        QCOMPARE(lines().size(), 3);
        QCOMPARE(log().count(QStringLiteral(".mrowka: Sciagnieto: c.tv")), 2);
    }

    // A download that reports progress and then fails leaves the busy flag off, so the next
    // one starts normally.
    void failureAfterProgress()
    {
        start(1, {0});
        server->setReply(
            {.head = FaultServer::okHead(5000), .body = QByteArray(5000, 'x'), .sendOnly = 1500});
        QSignalSpy akt(engine.get(), &UpdateEngine::aktChanged);
        int reports = 0;
        connect(engine.get(), &UpdateEngine::downloadProgress, this, [&] {
            ++reports;
            QVERIFY(engine->state().downloadBusy);
        });
        engine->StartStationDownload(server->url("/x"), "s1.tv");
        QVERIFY(reports > 0);
        QVERIFY(!engine->state().downloadBusy);
        QVERIFY(log().endsWith(QStringLiteral(".mrowka|http: blad blad blad")));
        QCOMPARE(lines(), Lines{"s1.tv :  - "}); // no page kept yet
        QCOMPARE(akt.size(), 0);

        server->setReply(serving(listingsPage("20:00", "Film")));
        engine->StartStationDownload(server->url("/x"), "s1.tv");
        QCOMPARE(server->requestCount(), 2);
        QCOMPARE(lines().size(), 2);
    }

    // A saved page that cannot be read adds no line, but the download was counted.
    void unreadablePage()
    {
        start(1, {0});
        engine->htDoneFile(QStringLiteral("gone.tv"), 100);
        QCOMPARE(lines().size(), 0);
        QVERIFY(log().contains(QStringLiteral(".mrowka: Nie mogę odczytać strony: ")));
        QVERIFY(log().contains(QStringLiteral("gone.tv")));
        QCOMPARE(engine->statistics().successfulUpdates(), 1);
    }

    // With two stations checked, the list is published only once both have their lines.
    void publishesOnlyWhenComplete()
    {
        start(2, {0, 1});
        ticks(1);
        QCOMPARE(lines().size(), 1);
        QVERIFY(published.isEmpty());
        ticks(1);
        QCOMPARE(published, (QList<Lines>{{"s1.tv : 20:00 - Film", "s2.tv : 20:00 - Film"}}));

        // A changed programme adds a second line for the station: nothing is published until
        // the clear timer empties the list and both stations are fetched again.
        ticks(1); // the wrap: still complete
        QCOMPARE(published.size(), 2);
        server->setReply(serving(listingsPage("21:00", "Sport")));
        published.clear();
        ticks(1); // station 1 again, with a new line beside its old one
        QCOMPARE(lines().size(), 3);
        QVERIFY(published.isEmpty());
        QSignalSpy cleared(engine.get(), &UpdateEngine::cleared);
        engine->clearTimer();
        QCOMPARE(cleared.size(), 1);
        QCOMPARE(lines().size(), 0);
        ticks(2); // station 2, the wrap
        QVERIFY(published.isEmpty());
        ticks(1); // station 1
        QCOMPARE(published, (QList<Lines>{{"s2.tv : 21:00 - Sport", "s1.tv : 21:00 - Sport"}}));
    }

    // A tick's log lines go out in one batch, and one more before it waits for a download.
    void logComesInBatches()
    {
        start(100, {});
        for (int row = 0; row < 100; ++row)
            stations.item(row)->setCheckState(Qt::Checked);
        server->setReply(failing(404));
        QSignalSpy batches(engine.get(), &UpdateEngine::logged);
        ticks(1);
        // "HOT START", 3 lines for station 1 and its 2 download lines; then the error line and
        // 3 lines for each of the other 99.
        QCOMPARE(batches.size(), 2);
        QCOMPARE(batches.first().first().toStringList().size(), 6);
        QCOMPARE(logged.size(), 1 + 3 + 2 + 1 + 99 * 3);
        QVERIFY(log().endsWith(QStringLiteral(".mrowka: Aktualnie zazn programow 100")));
    }
};

QTEST_GUILESS_MAIN(TestUpdateEngine)
#include "tst_updateengine.moc"
