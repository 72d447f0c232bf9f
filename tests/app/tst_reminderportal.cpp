// A reminder ten minutes before the start, against the real ekranik-portal: its page for a
// channel, kept in the working folder as a download leaves it, gives every programme to come,
// and the reminder goes off once for each broadcast of the keyword, on a test clock.
#include "app/keptbroadcasts.h"
#include "net/httpfetch.h"
#include "reminders/form3.h"
#include "reminders/remindersearch.h"
#include "support/loopback.h"
#include "support/scratchfolder.h"
#include "update/listingsparser.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

// Generous: a busy machine starts a process and reads a small file in well under this.
constexpr int kWaitMs = 30000;

// A winter day's evening in Warsaw, moved by the portal to today at the same times of day.
QByteArray listings()
{
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n"
                      "<channel id=\"c1\"><display-name>K1</display-name></channel>\n";
    const char* const programmes[][3] = {{"1000", "1008", "Film"},
                                         {"1008", "1020", "Mecz Polska - Anglia"},
                                         {"1020", "1040", "Wiadomości"},
                                         {"1040", "1100", "Mecz Anglia - Polska"}};
    for (const auto& [start, stop, title] : programmes)
        text += QByteArray("<programme start=\"20260115") + start + "00 +0100\" stop=\"20260115" +
                stop + "00 +0100\" channel=\"c1\"><title>" + title + "</title></programme>\n";
    return text + "</tv>\n";
}

} // namespace

class TestReminderPortal : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The listings' times of day are Warsaw's, and so are the test clock's.
        qputenv("TZ", "Europe/Warsaw");
        HttpFetch::globalInit();
    }

    void remindsOnceForEachBroadcast()
    {
        ScratchFolder folder;
        QVERIFY(folder.isValid());
        QFile source(QStringLiteral("listings.xml"));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write(listings());
        source.close();

        const quint16 port = freeLoopbackPort();
        QProcess portal;
        portal.start(QStringLiteral(EKRANIK_PORTAL_PROGRAM),
                     {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                      QStringLiteral("--xmltv"), source.fileName(), QStringLiteral("--today"),
                      QStringLiteral("--cache"), folder.path() + QStringLiteral("/cache")});
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += portal.readAllStandardOutput()).contains("serving"),
                                 kWaitMs);

        // The station's page, where a download leaves it.
        const QByteArray url =
            "http://127.0.0.1:" + QByteArray::number(port) + "/program.html?T%5Bchannel%5D=c1";
        HttpFetch download;
        download.URL = url;
        download.FileName = QStringLiteral("k1.tv");
        download.WaitThread = true;
        QSignalSpy done(&download, &HttpFetch::OnDoneFile);
        download.DownloadFile();
        QCOMPARE(done.size(), 1);

        ListingsParser parser;
        Form3 window;
        QDateTime now;
        ReminderSearch search(
            &parser, &window, nullptr, [&url] { return keptBroadcasts({"k1.tv|" + url}, {true}); },
            [&now] { return now; });
        QSignalSpy reminded(&search, &ReminderSearch::reminded);
        search.armReminder("mecz", 10);
        const auto at = [&now, &search](int hour, int minute) {
            now = QDateTime(QDate::currentDate(), QTime(hour, minute));
            search.szukajkaTimer();
        };

        // 9 minutes before the first match; the second is 41 minutes away.
        at(9, 59);
        QCOMPARE(reminded.size(), 1);
        const auto first = reminded.last().first().value<Broadcast>();
        QCOMPARE(first.station, QByteArray("k1.tv"));
        QCOMPARE(first.start, QDateTime(QDate::currentDate(), QTime(10, 8)));
        QCOMPARE(first.title, QByteArray("Mecz Polska - Anglia"));
        QVERIFY(window.isVisible());
        at(10, 0);
        at(10, 9);
        QCOMPARE(reminded.size(), 1);
        // The next broadcast of the same keyword, once its time comes.
        at(10, 29);
        QCOMPARE(reminded.size(), 1);
        at(10, 31);
        QCOMPARE(reminded.size(), 2);
        QCOMPARE(reminded.last().first().value<Broadcast>().title,
                 QByteArray("Mecz Anglia - Polska"));
        at(10, 35);
        QCOMPARE(reminded.size(), 2);
        search.disarm();
        portal.terminate();
        QVERIFY(portal.waitForFinished(kWaitMs));
    }
};

QTEST_MAIN(TestReminderPortal)
#include "tst_reminderportal.moc"
