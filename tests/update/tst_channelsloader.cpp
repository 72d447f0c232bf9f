// The channel list loader against a scripted portal: what it asks, in the program's language,
// that it asks again while the portal reads, and that every way an answer can fail ends in one
// Polish reason.

#include "net/httpfetch.h"
#include "support/faultserver.h"
#include "update/channelsloader.h"

#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(FaultServer::Reply)

namespace {

const QByteArray kReading = R"({"state": "reading", "problems": [], "channels": []})";
const QByteArray kReady =
    R"({"state": "ready", "problems": [], "channels": [{"id": "TVP1.pl", "names": ["TVP 1"],
        "station": "tvp.1.tv|http://h/1", "now": null, "until": null}]})";

FaultServer::Reply answer(const QByteArray& body)
{
    return {.head = FaultServer::okHead(body.size()), .body = body};
}

// Waits long enough for a download that ends by itself, and catches one that never does.
constexpr int kWaitMs = 20000;

} // namespace

class TestChannelsLoader : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { HttpFetch::globalInit(); }

    void asksAgainWhileThePortalReads()
    {
        FaultServer server;
        server.setReply(answer(kReading));
        HttpFetch fetch;
        ChannelsLoader loader(&fetch, QStringLiteral("en"));
        QSignalSpy loaded(&loader, &ChannelsLoader::loaded);
        QSignalSpy failed(&loader, &ChannelsLoader::failed);
        loader.load(QStringLiteral("127.0.0.1:%1").arg(server.port()));

        QVERIFY(loaded.wait(kWaitMs));
        QCOMPARE(loaded.last().at(0).value<PortalChannels>().state, PortalChannels::State::Reading);
        QCOMPARE(requestLine(server.requests().first()), QByteArray("GET /channels.json HTTP/1.0"));
        // The portal's reasons come in the language the program shows.
        QCOMPARE(headerValue(server.requests().first(), "Accept-Language"), QByteArray("en"));
        server.setReply(answer(kReady));
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 2, kWaitMs);
        const auto ready = loaded.last().at(0).value<PortalChannels>();
        QCOMPARE(ready.state, PortalChannels::State::Ready);
        QCOMPARE(ready.channels.size(), 1);
        QCOMPARE(ready.channels.first().station, QByteArray("tvp.1.tv|http://h/1"));
        QVERIFY(failed.isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<FaultServer::Reply>("reply");
        QTest::addColumn<QString>("reason");
        QTest::newRow("404") << FaultServer::Reply{.head = FaultServer::statusHead(404, 0)}
                             << "Nie udało się pobrać listy kanałów z http://127.0.0.1:";
        QTest::newRow("stall, ended by the deadline")
            << FaultServer::Reply{.head = FaultServer::okHead(100),
                                  .body = QByteArray(100, ' '),
                                  .sendOnly = 10,
                                  .stallAfter = true}
            << "Nie udało się pobrać listy kanałów z http://127.0.0.1:";
        QTest::newRow("not the format")
            << answer(R"({"state": "ready"})") << "Odpowiedź portalu ma błędne pole „problems”.";
        QTest::newRow("announced past the limit")
            << FaultServer::Reply{.head = FaultServer::okHead(ChannelsLoader::kMaxAnswerBytes + 1),
                                  .body = QByteArray(1000, ' '),
                                  .stallAfter = true}
            << "jest większa niż 32 MiB (kMaxAnswerBytes)";
    }

    void failures()
    {
        QFETCH(FaultServer::Reply, reply);
        QFETCH(QString, reason);
        FaultServer server;
        server.setReply(reply);
        HttpFetch fetch;
        fetch.setDeadline(std::chrono::milliseconds(500));
        ChannelsLoader loader(&fetch);
        QSignalSpy loaded(&loader, &ChannelsLoader::loaded);
        QSignalSpy failed(&loader, &ChannelsLoader::failed);
        loader.load(QStringLiteral("127.0.0.1:%1").arg(server.port()));
        QVERIFY(failed.wait(kWaitMs));
        QVERIFY2(failed.first().at(0).toString().contains(reason),
                 qPrintable(failed.first().at(0).toString()));
        QVERIFY(loaded.isEmpty());
        server.releaseStalls();
    }

    // A second load while the first still downloads asks the new address; the old answer is
    // never given.
    void aNewLoadReplacesTheRunningOne()
    {
        FaultServer slow;
        slow.setReply({.head = FaultServer::okHead(kReady.size()),
                       .body = kReady,
                       .sendOnly = 5,
                       .stallAfter = true});
        FaultServer quick;
        quick.setReply(answer(kReady));
        HttpFetch fetch;
        ChannelsLoader loader(&fetch);
        QSignalSpy loaded(&loader, &ChannelsLoader::loaded);
        QSignalSpy failed(&loader, &ChannelsLoader::failed);
        loader.load(QStringLiteral("127.0.0.1:%1").arg(slow.port()));
        QTRY_COMPARE_WITH_TIMEOUT(slow.requestCount(), 1, kWaitMs);
        loader.load(QStringLiteral("127.0.0.1:%1").arg(quick.port()));
        QVERIFY(loaded.wait(kWaitMs));
        QCOMPARE(quick.requestCount(), 1);
        QVERIFY(failed.isEmpty());
        slow.releaseStalls();
    }
};

QTEST_GUILESS_MAIN(TestChannelsLoader)
#include "tst_channelsloader.moc"
