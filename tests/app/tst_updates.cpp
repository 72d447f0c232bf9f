// The update engine on a real main window: the tick and its queue with the hot start and the
// frequencies, and what completed and failed downloads leave behind. Downloads go to the
// loopback test server; the tests call the tick themselves instead of waiting for the timer.

#include "app/form1.h"
#include "display/form2.h"
#include "display/settingspanel.h"
#include "net/httpfetch.h"
#include "support/faultserver.h"
#include "support/scratchfolder.h"
#include "tray/trayicon.h"
#include "widgets/bytelines.h"
#include "widgets/gauge.h"
#include "widgets/look.h"
#include "widgets/segmentbar.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// What the publication step and the debug log write to their logging categories, in order.
// The debug log itself empties at 250 lines; this keeps everything.
QStringList g_published;
QStringList g_logged;

void CaptureMessages(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    if (QByteArray(context.category) == "ekranik.publish")
        g_published << message;
    else if (QByteArray(context.category) == "ekranik.log")
        g_logged << message;
}

// A listings page whose programme on air now starts at `time` and is called `title`: the time
// stands 73 characters before the on-now marker, the title anchor follows it.
QByteArray Page(const QByteArray& time, const QByteArray& title)
{
    return "<html><body><table><tr><td>" + time + QByteArray(68, '.') +
           "trwa.gif\"></td><td><a href=\"javascript:okno(7)\">" + title + "</a></td></tr>";
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The station numbers the server was asked for, in order.
QList<int> Stations(const FaultServer& server)
{
    QList<int> numbers;
    static const QRegularExpression station(QStringLiteral("station%5D=(\\d+)"));
    for (const QByteArray& request : server.requests())
        numbers << station.match(QString::fromLatin1(requestLine(request))).captured(1).toInt();
    return numbers;
}

} // namespace

class TestUpdates : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchFolder> folder;
    std::unique_ptr<FaultServer> server;
    std::unique_ptr<Form1> form;
    std::unique_ptr<Form2> widget;

    // A main window in a fresh folder with `count` stations "s1.tv" ... on the test server,
    // the given ones checked, shown (so its files are loaded), its timers stopped.
    void start(int count, const QList<int>& checked, bool show = true)
    {
        QByteArray list;
        for (int n = 1; n <= count; ++n)
            list += "s" + QByteArray::number(n) + ".tv|" +
                    server->url("/.?&T%5Bstation%5D=" + QByteArray::number(n) +
                                "&T%5Bcategory%5D=ALL&T%5Btime%5D=0") +
                    "\r\n";
        WriteFile("programy.tv", list);
        QByteArray states;
        for (int position : checked)
            states += QByteArray::number(position) + "\r\n";
        WriteFile("programy_stan.tv", states);

        form = std::make_unique<Form1>();
        widget = std::make_unique<Form2>();
        form->setWidget(widget.get());
        form->ShowErrorBox = [](const QString& text) { QFAIL(qPrintable(text)); };
        if (show)
            form->show();
        form->Timer1->stop();
        form->clear->stop();
    }

    QString log() const { return g_logged.join(QLatin1Char('\n')); }
    int ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            form->Timer1Timer();
        return form->Timer1->interval();
    }

private slots:
    void initTestCase()
    {
        HttpFetch::GlobalInit();
        InstallFontFallbacks();
        QLoggingCategory::setFilterRules(QStringLiteral("ekranik.*=true"));
        qInstallMessageHandler(CaptureMessages);
    }

    void init()
    {
        folder = std::make_unique<ScratchFolder>();
        QVERIFY(folder->isValid());
        server = std::make_unique<FaultServer>();
        const QByteArray page = Page("20:00", "Film");
        server->setReply({FaultServer::okHead(page.size()), page, 0, 0, -1, false});
        g_published.clear();
        g_logged.clear();
    }

    void cleanup()
    {
        form.reset();
        widget.reset();
        server.reset();
        folder.reset();
    }

    // 13 stations, all checked: the first tick comes after 8 s and makes the ticks a second
    // apart; positions 1 to 13 fetch their stations; the 14th tick wraps to 20 s and fetches
    // nothing; the next cycle starts again with station 1.
    void hotStartWalksEveryStation()
    {
        start(13, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
        QCOMPARE(form->Timer1->interval(), 8000);
        QVERIFY(form->updateState().hotStart);

        QCOMPARE(ticks(1), 1000);
        QCOMPARE(Stations(*server), QList<int>{1});
        QCOMPARE(ticks(12), 1000);
        QCOMPARE(Stations(*server), (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
        QCOMPARE(form->updateState().queuePosition, 13);
        QCOMPARE(form->ilosc->count(), 13);
        QCOMPARE(LineAt(form->ilosc, 0), QByteArray("s1.tv : 20:00 - Film"));
        QCOMPARE(form->akt->text(), QStringLiteral("Udane aktualizacje: 13 razy"));

        QCOMPARE(ticks(1), 20000);
        QVERIFY(!form->updateState().hotStart);
        QCOMPARE(form->updateState().queuePosition, 0);
        QCOMPARE(server->requestCount(), 13);
        QVERIFY(log().contains(QStringLiteral("KONIEC HOT START !!!!")));

        QCOMPARE(ticks(1), 20000);
        QCOMPARE(Stations(*server).last(), 1);
        // Every hot-start tick says so, the wrapping one included.
        QCOMPARE(log().count(QStringLiteral("HOT START / HOT START")), 14);
        // Each tick with a complete list publishes it: the widget mode, then the 13 lines.
        QCOMPARE(g_published.mid(g_published.lastIndexOf("widget")).size(), 14);
    }

    // Only station 7 checked: only the tick at position 7 fetches, and only checked stations
    // write their three log lines.
    void onlyTheCheckedStationIsFetched()
    {
        start(13, {6});
        ticks(14);
        QCOMPARE(Stations(*server), QList<int>{7});
        QCOMPARE(log().count(QStringLiteral(".mrowka: Parsuje program")), 14);
        QVERIFY(log().contains(QStringLiteral(".mrowka: Parsuje program 7s7.tv\n"
                                              ".mrowka: Kolejka>>7\n"
                                              ".mrowka: Aktualnie zazn programow 1\n"
                                              ".mrowka: Sciagacz ustawiony... \n"
                                              ".mrowka: Sciagam... s7.tv")));
        QVERIFY(!log().contains(QStringLiteral("Parsuje program 6")));
    }

    // Nothing checked: no station lines, no fetches, and the empty list is complete at every
    // tick.
    void noCheckedStationPublishesTheEmptyList()
    {
        start(3, {});
        ticks(4);
        QCOMPARE(server->requestCount(), 0);
        QVERIFY(!log().contains(QStringLiteral(".mrowka:")));
        QCOMPARE(g_published, QStringList(4, QStringLiteral("widget")));
        form->c2->trigger();
        ticks(1);
        QCOMPARE(g_published.last(), QStringLiteral("balloon"));
    }

    // A frequency picked during the hot start waits for the wrap; one picked later applies at
    // once and again after every wrap, which passes through 20 s.
    void frequencies()
    {
        start(3, {});
        ticks(2);
        form->Najwolniej60s1->trigger();
        QCOMPARE(form->Timer1->interval(), 1000);
        QCOMPARE(ticks(1), 1000);
        QCOMPARE(ticks(1), 60000); // the wrap

        form->Wolno40s1->trigger();
        QCOMPARE(form->Timer1->interval(), 40000);
        form->SetUpdateFrequency(QStringLiteral("Normal")); // not a keyword: stored, no change
        QCOMPARE(form->Timer1->interval(), 40000);
        QCOMPARE(form->updateState().frequencyKeyword, QStringLiteral("Normal"));
        QCOMPARE(ticks(4), 20000); // the wrap: 20 s, and "Normal" sets nothing
        form->Extremalnieszybko1->trigger();
        QCOMPARE(form->Timer1->interval(), 2000);
        QCOMPARE(ticks(4), 2000);
    }

    // An interval that does not change leaves the countdown running.
    void sameIntervalKeepsTheCountdown()
    {
        start(3, {});
        ticks(4); // after the wrap: 20 s
        form->Timer1->start();
        QTest::qWait(50);
        const int left = form->Timer1->remainingTime();
        form->Normalnie20s1->trigger();
        QVERIFY(form->Timer1->remainingTime() <= left);
        form->Timer1->stop();
    }

    // Before the station files are loaded, a tick that meets a checked station ends there:
    // the queue and the clock move, nothing is logged, fetched or published.
    void tickBeforeActivation()
    {
        start(3, {}, false);
        form->programy->item(1)->setCheckState(Qt::Checked);
        ticks(3);
        QCOMPARE(form->updateState().queuePosition, 3);
        QCOMPARE(server->requestCount(), 0);
        QVERIFY(!log().contains(QStringLiteral(".mrowka:")));
        QVERIFY(g_published.isEmpty());
        QVERIFY(widget->hur->text().contains(QStringLiteral(" | ")));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d : \\d\\d \\| \\S+"))
                    .match(widget->hur->text())
                    .hasMatch());
    }

    void emptyListWrapsAtEveryTick()
    {
        start(0, {});
        form->SetUpdateFrequency(QStringLiteral("fast"));
        QCOMPARE(ticks(1), 10000);
        QCOMPARE(ticks(1), 10000);
        QCOMPARE(log().count(QStringLiteral("KONIEC HOT START !!!!")), 2);
        QCOMPARE(g_published, QStringList(2, QStringLiteral("widget")));
    }

    // Deleting an entry before the queue position skips the entry that moves into the
    // position just passed, for this cycle.
    void deletionBeforeTheQueuePosition()
    {
        start(5, {0, 1, 2, 3, 4});
        ticks(3);
        form->programy->setCurrentRow(0);
        form->delClick();
        ticks(2); // position 4 is now station 5; position 5 is the wrap
        QCOMPARE(Stations(*server), (QList<int>{1, 2, 3, 5}));
        QCOMPARE(form->updateState().queuePosition, 0);
    }

    // A station whose name is not a plain file name is never fetched.
    void unsafeStationNameIsNotFetched()
    {
        start(2, {0, 1});
        form->programy->item(0)->setData(Qt::UserRole,
                                         QByteArray("../evil.tv|") + server->url("/x"));
        ticks(2);
        QCOMPARE(Stations(*server), QList<int>{2});
        QVERIFY(log().contains(QStringLiteral("nie jest nazwą pliku: ../evil.tv")));
        QVERIFY(!QFile::exists("../evil.tv"));
    }

    void statisticsCaptions()
    {
        start(1, {0});
        QCOMPARE(form->pobrano->text(), QStringLiteral("Pobrano: ~~ kB | ~~ MB"));
        for (int size : {10240, 20480, 1048576}) {
            server->setReply({FaultServer::okHead(size), QByteArray(size, 'x'), 0, 0, -1, false});
            form->StartStationDownload(server->url("/x"), "s1.tv");
        }
        QCOMPARE(form->pobrano->text(), QStringLiteral("Pobrano: 1054 kB | 1 MB"));
        QCOMPARE(form->akt->text(), QStringLiteral("Udane aktualizacje: 3 razy"));
        QCOMPARE(form->statistics().totalBytes(), 1079296);
    }

    void progressTexts()
    {
        start(1, {0});
        const QByteArray page = Page("21:30", "Wiadomości") + QByteArray(20480, ' ');
        server->setReply({FaultServer::okHead(page.size()), page, 5120, 0, -1, false});
        form->StartStationDownload(server->url("/x"), "twenty.characters.tv");
        QCOMPARE(form->xxx->text(),
                 QStringLiteral("Aktualizuje twenty.characters.tv %1/%1").arg(page.size()));
        QCOMPARE(widget->a->text(), QStringLiteral("ekranik - twenty.character..."));
        QCOMPARE(widget->pb2->width(), widget->a->width());
        QCOMPARE(widget->pb2->maxValue(), page.size());
        QCOMPARE(widget->pb2->progress(), page.size());
        QCOMPARE(form->pb->max(), page.size());
        QCOMPARE(form->pb->position(), page.size());
        QVERIFY(!form->updateState().downloadBusy);

        // A name that looks like a placeholder stays a name.
        form->StartStationDownload(server->url("/x"), "tv%1");
        const QString size = QString::number(page.size());
        QCOMPARE(form->xxx->text(), "Aktualizuje tv%1 " + size + '/' + size);
    }

    // A tick that changes the interval registers the timer afresh, and the fresh timer fires
    // while the tick waits for a slow page: the nested tick finds the component busy, and every
    // text about the download still names the station whose page is arriving.
    void nestedTickDuringASlowDownload()
    {
        start(2, {0, 1});
        const QByteArray page = Page("20:00", "Film") + QByteArray(3000, ' ');
        server->setReply({FaultServer::okHead(page.size()), page, 300, 250, -1, false});
        QStringList texts;
        connect(form->ht, &HttpFetch::OnProgress, form.get(),
                [&] { texts << form->xxx->text().section(u' ', 0, 1) << widget->a->text(); });
        form->Timer1->start();
        ticks(1); // hot start: one a second from now, nested in this tick's wait
        form->Timer1->stop();
        QVERIFY(log().contains(QStringLiteral(".mrowka: !!!Nie sciaglem s2.tv")));
        QCOMPARE(server->requestCount(), 1);
        texts.removeDuplicates();
        QCOMPARE(texts, (QStringList{"Aktualizuje s1.tv", "ekranik - s1.tv"}));
    }

    // A station that cannot be fetched still files its line, from the page its last good
    // download left or, without one, an empty page's: one dead station must not keep the
    // display from ever being published. Nothing is counted for it.
    void failedStationsStillFileTheirLines()
    {
        start(3, {0, 1, 2});
        FaultServer missing;
        missing.setReply({FaultServer::statusHead(404, 0), QByteArray(), 0, 0, -1, false});
        const QByteArray refused =
            "http://127.0.0.1:" + QByteArray::number(FaultServer::refusedPort()) + "/x";
        form->programy->item(1)->setData(Qt::UserRole, "s2.tv|" + refused);
        form->programy->item(2)->setData(Qt::UserRole, "s3.tv|" + missing.url("/x"));
        const QList<QByteArray> lines{"s1.tv : 20:00 - Film", "s2.tv :  - ", "s3.tv :  - "};
        ticks(3);
        QCOMPARE(Lines(form->ilosc), lines);
        QCOMPARE(g_published, QStringList{"widget"} + QString::fromLatin1(lines.join('\n')).split('\n'));
        QCOMPARE(log().count(QStringLiteral(".mrowka|http: blad blad blad")), 2);
        QCOMPARE(form->statistics().successfulUpdates(), 1);

        // The station fetched before keeps the line of the page it left.
        server->setReply({FaultServer::statusHead(500, 0), QByteArray(), 0, 0, -1, false});
        form->clearTimer();
        ticks(4); // the wrap, then the three stations
        QCOMPARE(Lines(form->ilosc), lines);
        QCOMPARE(form->statistics().successfulUpdates(), 1);
        QVERIFY(!form->updateState().downloadBusy);
    }

    // A, B, A, C, B becomes A, B, C when the next download's line is C; a line that is already
    // there leaves the length as it was but is still logged.
    void duplicatesKeepTheFirst()
    {
        start(1, {0});
        const QByteArray a = "a.tv : 20:00 - Film", b = "b.tv : 20:00 - Film",
                         c = "c.tv : 20:00 - Film";
        for (const QByteArray& line : {a, b, a, c, b})
            AppendLine(form->ilosc, line);
        form->StartStationDownload(server->url("/x"), "c.tv");
        QCOMPARE(Lines(form->ilosc), (QList<QByteArray>{a, b, c}));
        form->StartStationDownload(server->url("/x"), "c.tv");
        QCOMPARE(form->ilosc->count(), 3);
        QCOMPARE(log().count(QStringLiteral(".mrowka: Sciagnieto: c.tv")), 2);
    }

    // A download that reports progress and then fails leaves the busy flag off, so the next
    // one starts normally.
    void failureAfterProgress()
    {
        start(1, {0});
        server->setReply({FaultServer::okHead(5000), QByteArray(5000, 'x'), 0, 0, 1500, false});
        int reports = 0;
        connect(form->ht, &HttpFetch::OnProgress, form.get(), [&] {
            ++reports;
            QVERIFY(form->updateState().downloadBusy);
        });
        form->StartStationDownload(server->url("/x"), "s1.tv");
        QVERIFY(reports > 0);
        QVERIFY(!form->updateState().downloadBusy);
        QVERIFY(log().endsWith(QStringLiteral(".mrowka|http: blad blad blad")));
        QCOMPARE(Lines(form->ilosc), QList<QByteArray>{"s1.tv :  - "}); // no page kept yet
        QCOMPARE(form->akt->text(), QStringLiteral("Udane aktualizacje: ~~ razy"));

        const QByteArray page = Page("20:00", "Film");
        server->setReply({FaultServer::okHead(page.size()), page, 0, 0, -1, false});
        form->StartStationDownload(server->url("/x"), "s1.tv");
        QCOMPARE(server->requestCount(), 2);
        QCOMPARE(form->ilosc->count(), 2);
    }

    // A saved page that cannot be read adds no line, but the download was counted.
    void unreadablePage()
    {
        start(1, {0});
        form->htDoneFile(QStringLiteral("gone.tv"), 100);
        QCOMPARE(form->ilosc->count(), 0);
        QVERIFY(log().contains(QStringLiteral(".mrowka: Nie mogę odczytać strony: ")));
        QVERIFY(log().contains(QStringLiteral("gone.tv")));
        QCOMPARE(form->statistics().successfulUpdates(), 1);
    }

    // With two stations checked, the list is published only once both have their lines.
    void publishesOnlyWhenComplete()
    {
        start(2, {0, 1});
        ticks(1);
        QCOMPARE(form->ilosc->count(), 1);
        QVERIFY(g_published.isEmpty());
        ticks(1);
        QCOMPARE(g_published,
                 (QStringList{"widget", "s1.tv : 20:00 - Film", "s2.tv : 20:00 - Film"}));

        // A changed programme adds a second line for the station: nothing is published until
        // the clear timer empties the list and both stations are fetched again.
        ticks(1); // the wrap: still complete
        QCOMPARE(g_published.size(), 6);
        const QByteArray page = Page("21:00", "Sport");
        server->setReply({FaultServer::okHead(page.size()), page, 0, 0, -1, false});
        g_published.clear();
        ticks(1); // station 1 again, with a new line beside its old one
        QCOMPARE(form->ilosc->count(), 3);
        QVERIFY(g_published.isEmpty());
        form->clearTimer();
        QCOMPARE(form->ilosc->count(), 0);
        QCOMPARE(widget->b->item(0)->text(), QStringLiteral("Aktualizacja..."));
        ticks(2); // station 2, the wrap
        QVERIFY(g_published.isEmpty());
        ticks(1); // station 1
        QCOMPARE(g_published,
                 (QStringList{"widget", "s2.tv : 21:00 - Sport", "s1.tv : 21:00 - Sport"}));
    }

    // Widget mode fills the desktop widget's list and shows it; balloon mode hides the widget
    // and puts the lines, each ended by CR LF, into an information balloon for 11 seconds.
    void publishingToWidgetAndBalloon()
    {
        start(2, {0, 1});
        ticks(2);
        QVERIFY(widget->isVisible());
        QCOMPARE(widget->b->count(), 2);
        QCOMPARE(widget->b->item(1)->text(), QStringLiteral("s2.tv : 20:00 - Film"));

        form->c2->trigger();
        QVERIFY(widget->isVisible()); // nothing changes until the next publication
        ticks(1);
        QVERIFY(!widget->isVisible());
        const TrayIcon::Balloon balloon = form->ico->lastBalloon();
        QCOMPARE(balloon.title, QStringLiteral("ekranik, ") + form->updateState().ClockText());
        QCOMPARE(balloon.text, QStringLiteral("s1.tv : 20:00 - Film\r\ns2.tv : 20:00 - Film\r\n"));
        QCOMPARE(balloon.kind, TrayIcon::BalloonIcon::Info);
        QCOMPARE(balloon.timeoutMs, 11000);
        const int shown = form->ico->balloonsShown();
        ticks(1);
        QCOMPARE(form->ico->balloonsShown(), shown + 1); // again at every complete tick

        // One line too many: nothing is published, in either mode.
        form->Button2Click();
        ticks(1);
        QCOMPARE(form->ico->balloonsShown(), shown + 1);
        form->c1->trigger();
        ticks(1);
        QVERIFY(!widget->isVisible());
    }

    // With nothing checked the empty list is complete: an empty widget, or in balloon mode no
    // balloon at all, and one still up from before goes.
    void emptyListPublishes()
    {
        start(2, {});
        ticks(1);
        QVERIFY(widget->isVisible());
        QCOMPARE(widget->b->count(), 0);
        form->c2->trigger();
        form->ShowBalloon(QStringLiteral("ekranik"), QStringLiteral("earlier"), 10);
        ticks(2);
        QVERIFY(!widget->isVisible());
        QCOMPARE(form->ico->balloonsShown(), 1);
        QCOMPARE(form->ico->postedMessages().last(), TrayIcon::Balloon{});
    }

    // "[ok]" hides the main window; during the hot start it also says the list is on its way.
    void okDuringAndAfterTheHotStart()
    {
        start(1, {});
        form->UstawieniaRadudoVorozu1->trigger();
        form->Label5Click();
        QVERIFY(!form->isVisible());
        QVERIFY(!form->acset->isVisible());
        QCOMPARE(
            form->ico->lastBalloon(),
            (TrayIcon::Balloon{QStringLiteral("ekranik"),
                               QStringLiteral("Aktualizacja w toku, proszę chwile poczekać zanim "
                                              "pojawią się pierwsze efekty (średnio 30 sekund)..."),
                               TrayIcon::BalloonIcon::Info, 10000}));
        const int shown = form->ico->balloonsShown();
        ticks(2); // the wrap ends the hot start
        form->Ustawienia1->trigger();
        QVERIFY(form->isVisible());
        form->Label5Click();
        QVERIFY(!form->isVisible());
        QCOMPARE(form->ico->balloonsShown(), shown);
    }

    // The log ends in the same state whether a tick's lines arrive one by one or in a batch.
    void batchedLogMatchesLineByLine()
    {
        start(100, {}, true);
        for (int i = 0; i < 100; ++i)
            form->programy->item(i)->setCheckState(Qt::Checked);
        form->Memo2->clear();
        for (int i = 0; i < 7; ++i)
            form->Log(QStringLiteral("earlier %1").arg(i));
        form->clear->stop();
        server->setReply({FaultServer::statusHead(404, 0), QByteArray(), 0, 0, -1, false});
        ticks(1);
        // 7 earlier lines, "HOT START", 3 lines for station 1, its 2 download lines and the
        // error line, 3 lines for each of the other 99: one by one, the log is emptied at 250.
        const int total = 7 + 1 + 3 + 2 + 1 + 99 * 3;
        QCOMPARE(g_logged.size(), total);
        QCOMPARE(form->Memo2->document()->blockCount(), total - 250);
        QCOMPARE(form->Memo2->toPlainText().split(QLatin1Char('\n')), g_logged.mid(250));
        QVERIFY(log().endsWith(QStringLiteral(".mrowka: Aktualnie zazn programow 100")));
    }
};

QTEST_MAIN(TestUpdates)
#include "tst_updates.moc"
