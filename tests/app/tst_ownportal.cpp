// The program's own listings portal: where it is, when it is started, and that the child is
// served by the real ekranik-portal, started again when it dies, restarted with new sources,
// never left behind, and never started over a portal that already answers.

#include "app/ownportal.h"
#include "app/portalprobe.h"
#include "support/loopback.h"
#include "support/scratchfolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Generous: a busy machine starts a process and reads a small file in well under this.
constexpr int kWaitMs = 30000;

QByteArray listings(const QByteArray& channel)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n<channel id=\"" + channel +
           "\"><display-name>" + channel +
           "</display-name></channel>\n"
           "<programme start=\"20261208180000 +0000\" stop=\"20261208190000 +0000\" channel=\"" +
           channel + "\"><title>Wiadomości</title></programme>\n</tv>\n";
}

QList<QByteArray> stationsAt(quint16 port)
{
    return {"a.tv|http://127.0.0.1:" + QByteArray::number(port) + "/program.html?T%5Bstation%5D=1"};
}

PortalChoice here(quint16 port)
{
    return {QStringLiteral("127.0.0.1"), port, true};
}

// Run as `tst_ownportal --be-parent PORTAL PORT SOURCE`: a program with its own portal, which
// prints the child's process id once it serves, and waits to be killed.
int beParent(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    OwnPortal portal(nullptr, QString::fromLocal8Bit(argv[2]));
    QObject::connect(&portal, &OwnPortal::serving, &portal, [&portal] {
        std::printf("%lld\n", portal.childId());
        std::fflush(stdout);
    });
    portal.setSources({QString::fromLocal8Bit(argv[4])});
    portal.reconsider(stationsAt(quint16(std::atoi(argv[3]))), {true});
    return QCoreApplication::exec();
}

} // namespace

class TestOwnPortal : public QObject {
    Q_OBJECT

    // The build's ekranik-portal.
    const QString portal = QStringLiteral(EKRANIK_PORTAL_PROGRAM);
    std::unique_ptr<ScratchFolder> folder;
    quint16 port = 0;
    QString one;
    QString two;

    // A portal of our own on `port` with `sources`, serving.
    std::unique_ptr<OwnPortal> serving(const QStringList& sources)
    {
        auto own = std::make_unique<OwnPortal>(nullptr, portal);
        QSignalSpy served(own.get(), &OwnPortal::serving);
        own->setSources(sources);
        own->reconsider(stationsAt(port), {true});
        if (!own->isOurs() || !served.wait(kWaitMs))
            return nullptr;
        return own;
    }

private slots:
    void init()
    {
        folder = std::make_unique<ScratchFolder>();
        QVERIFY(folder->isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(folder->path() + "/cache"));
        port = freeLoopbackPort();
        QVERIFY(port != 0);
        one = folder->path() + "/one.xml";
        two = folder->path() + "/two.xml";
        for (const auto& [path, channel] : {std::pair{one, "one.pl"}, std::pair{two, "two.pl"}}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(listings(channel));
        }
    }

    void cleanup() { folder.reset(); }

    void decision_data()
    {
        QTest::addColumn<QList<QByteArray>>("entries");
        QTest::addColumn<QList<bool>>("checks");
        QTest::addColumn<QByteArray>("defaultHost");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("loopback");
        QTest::addColumn<bool>("sources");
        QTest::addColumn<bool>("answers");
        QTest::addColumn<bool>("starts");
        using Entries = QList<QByteArray>;
        using Checks = QList<bool>;
        const QByteArray def = "127.0.0.1:8080";
        QTest::newRow("no stations: the default")
            << Entries{} << Checks{} << def << "127.0.0.1:8080" << true << true << false << true;
        QTest::newRow("no sources: nothing to serve")
            << Entries{} << Checks{} << def << "127.0.0.1:8080" << true << false << false << false;
        QTest::newRow("answered already: someone else's")
            << Entries{} << Checks{} << def << "127.0.0.1:8080" << true << true << true << false;
        QTest::newRow("default without a port") << Entries{} << Checks{} << QByteArray("localhost")
                                                << "localhost:80" << true << true << false << true;
        QTest::newRow("default on another machine")
            << Entries{} << Checks{} << QByteArray("tv.example.org:8080") << "tv.example.org:8080"
            << false << true << false << false;
        QTest::newRow("the checked one before an earlier unchecked one")
            << Entries{"a|http://127.0.0.1:9000/x", "b|http://127.0.0.2:9001/y"}
            << Checks{false, true} << def << "127.0.0.2:9001" << true << true << false << true;
        QTest::newRow("a checked remote one is no portal of ours")
            << Entries{"a|http://tv.example/x", "b|http://[::1]:9002/?T%5Bstation%5D=1"}
            << Checks{true, false} << def << "[::1]:9002" << true << true << false << true;
        QTest::newRow("the default list's two kinds of address, and a Windows-1250 byte")
            << Entries{"tvp1.tv|http://127.0.0.1:8080/.?&T%5Bstation%5D=1&T%5Bcategory%5D=ALL",
                       "\xb3\xf3"
                       "d\xbc.tv|http://127.0.0.3:8081/program.html?T[channel]=\xb3\xf3"
                       "d\xbc"}
            << Checks{false, true} << def << "127.0.0.3:8081" << true << true << false << true;
        QTest::newRow("fewer marks than stations")
            << Entries{"a|http://tv.example/", "b|http://LocalHost/x"} << Checks{} << def
            << "localhost:80" << true << true << false << true;
        QTest::newRow("no station here: the default")
            << Entries{"a|http://tv.example:8080/x",
                       "b|https://127.0.0.1:9443/x",
                       "c|http://128.0.0.1/x",
                       "d|http://127.0.0.1.example.org/x",
                       "e|ftp://127.0.0.1/x",
                       "no address",
                       "f|http:///x"}
            << Checks{true, true, true, true, true, true, true} << def << "127.0.0.1:8080" << true
            << true << false << true;
    }

    void decision()
    {
        QFETCH(QList<QByteArray>, entries);
        QFETCH(QList<bool>, checks);
        QFETCH(QByteArray, defaultHost);
        QFETCH(QString, address);
        QFETCH(bool, loopback);
        QFETCH(bool, sources);
        QFETCH(bool, answers);
        QFETCH(bool, starts);
        const PortalChoice choice = choosePortal(entries, checks, defaultHost);
        QCOMPARE(choice.hostPort(), address);
        QCOMPARE(choice.loopback, loopback);
        QCOMPARE(startsOwnPortal(choice, sources, answers), starts);
    }

    // Served at the stations' address; killed, it is started again, said in the log.
    void servesAndComesBack()
    {
        const std::unique_ptr<OwnPortal> own = serving({one});
        QVERIFY(own);
        QCOMPARE(own->portalAddress(), here(port).hostPort());
        QVERIFY(loopbackGet(port, "/stations.txt").contains("one.pl"));
        QSignalSpy served(own.get(), &OwnPortal::serving);
        QSignalSpy logged(own.get(), &OwnPortal::logged);
        const qint64 first = own->childId();
        QVERIFY(first > 0);
        QCOMPARE(::kill(pid_t(first), SIGKILL), 0);
        QVERIFY(served.wait(kWaitMs));
        QVERIFY(own->childId() != first);
        QVERIFY(own->isOurs());
        QStringList lines;
        for (const QList<QVariant>& signal : logged)
            lines << signal.first().toStringList();
        QVERIFY2(lines.filter(QStringLiteral("ponownie za 1 s")).size() == 1,
                 qPrintable(lines.join(u'\n')));
        QVERIFY(loopbackGet(port, "/stations.txt").contains("one.pl"));
    }

    // New sources: another child on the same address serves them; none: it stops.
    void newSourcesRestart()
    {
        const std::unique_ptr<OwnPortal> own = serving({one});
        QVERIFY(own);
        const qint64 first = own->childId();
        QSignalSpy served(own.get(), &OwnPortal::serving);
        own->setSources({two});
        QVERIFY(served.wait(kWaitMs));
        QVERIFY(own->childId() != first);
        const QByteArray stations = loopbackGet(port, "/stations.txt");
        QVERIFY2(stations.contains("two.pl") && !stations.contains("one.pl"), stations);
        own->setSources({});
        QVERIFY(!own->isOurs());
        QVERIFY(!answersOnThisMachine(here(port)));
    }

    // Destroyed (the program ending), it leaves no process behind, not even a zombie.
    void destroyedLeavesNothing()
    {
        std::unique_ptr<OwnPortal> own = serving({one});
        QVERIFY(own);
        const pid_t child = pid_t(own->childId());
        own.reset();
        QCOMPARE(::kill(child, 0), -1);
        QCOMPARE(errno, ESRCH);
        QVERIFY(!answersOnThisMachine(here(port)));
    }

    // A program killed outright takes its portal with it: the port is free again.
    void killedParentTakesChild()
    {
        QProcess parent;
        parent.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--be-parent"), portal, QString::number(port), one});
        QVERIFY(parent.waitForStarted(kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(parent.canReadLine(), kWaitMs);
        QVERIFY(parent.readLine().trimmed().toLongLong() > 0);
        QVERIFY(answersOnThisMachine(here(port)));
        parent.kill();
        QVERIFY(parent.waitForFinished(kWaitMs));
        QTRY_VERIFY_WITH_TIMEOUT(!answersOnThisMachine(here(port)), kWaitMs);
    }

    // Someone else's portal answers there: it is used as it is.
    void answeredAlreadyStartsNothing()
    {
        const LoopbackListener theirs;
        QVERIFY(theirs.port() != 0);
        OwnPortal own(nullptr, portal);
        QSignalSpy logged(&own, &OwnPortal::logged);
        own.setSources({one});
        own.reconsider(stationsAt(theirs.port()), {true});
        QVERIFY(!own.isOurs());
        QCOMPARE(own.childId(), 0);
        QCOMPARE(own.portalAddress(), here(theirs.port()).hostPort());
        QCOMPARE(logged.size(), 1);
        QVERIFY(logged.first().first().toStringList().first().contains(QStringLiteral("inny")));
    }

    // Listings it cannot read: the child stays, waiting for better sources, and is not
    // started over and over.
    void unreadableListingsKeepTheChild()
    {
        OwnPortal own(nullptr, portal);
        QSignalSpy failed(&own, &OwnPortal::readingFailed);
        QSignalSpy served(&own, &OwnPortal::serving);
        own.setSources({folder->path() + "/missing.xml"});
        own.reconsider(stationsAt(port), {true});
        QVERIFY(failed.wait(kWaitMs));
        const qint64 child = own.childId();
        QVERIFY(child > 0);
        QVERIFY(loopbackGet(port, "/channels.json").contains("\"failed\""));
        own.setSources({one});
        QVERIFY(served.wait(kWaitMs));
        QVERIFY(own.childId() != child);
    }
};

int main(int argc, char* argv[])
{
    if (argc == 5 && std::strcmp(argv[1], "--be-parent") == 0)
        return beParent(argc, argv);
    QCoreApplication app(argc, argv);
    TestOwnPortal test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ownportal.moc"
