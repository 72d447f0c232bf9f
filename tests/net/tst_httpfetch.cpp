// The download component against a loopback server that misbehaves on request: what is sent,
// what counts as a complete page, what becomes of the old page on failure, and that cancelling
// or destroying the component mid-download ends cleanly.

#include "net/httpfetch.h"
#include "net/parseurl.h"
#include "support/faultserver.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray kOldPage = "the page saved by the last good download";

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray patternBody(int size)
{
    QByteArray body(size, '\0');
    for (int i = 0; i < size; ++i)
        body[i] = static_cast<char>('a' + i % 26);
    return body;
}

} // namespace

class TestHttpFetch : public QObject {
    Q_OBJECT

    QTemporaryDir* folder = nullptr;
    QString page;

    // The component as the main window sets it up, fetching into `page`.
    std::unique_ptr<HttpFetch> makeFetch(const QByteArray& url, bool wait = true)
    {
        auto fetch = std::make_unique<HttpFetch>();
        fetch->Agent = "FlashGet";
        fetch->WaitThread = wait;
        fetch->URL = url;
        fetch->FileName = page;
        return fetch;
    }

    void writeOldPage()
    {
        QFile file(page);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kOldPage);
    }

private slots:
    void initTestCase() { HttpFetch::globalInit(); }

    void init()
    {
        folder = new QTemporaryDir;
        page = folder->filePath(QStringLiteral("polsat.tv"));
    }

    void cleanup() { delete folder; }

    void splittingAddresses_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<QByteArray>("scheme");
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArray>("object");
        QTest::newRow("path and query") << QByteArray("http://host/a/b?c=1") << QByteArray("http")
                                        << QByteArray("host") << 80 << QByteArray("/a/b?c=1");
        QTest::newRow("scheme in capitals") << QByteArray("HTTP://Host/") << QByteArray("http")
                                            << QByteArray("Host") << 80 << QByteArray("/");
        QTest::newRow("no scheme") << QByteArray("host/x") << QByteArray("http")
                                   << QByteArray("host") << 80 << QByteArray("/x");
        QTest::newRow("port honoured") << QByteArray("http://host:8080/x") << QByteArray("http")
                                       << QByteArray("host") << 8080 << QByteArray("/x");
        QTest::newRow("https") << QByteArray("https://host/x") << QByteArray("https")
                               << QByteArray("host") << 443 << QByteArray("/x");
        QTest::newRow("https with port") << QByteArray("HTTPS://host:8443/") << QByteArray("https")
                                         << QByteArray("host") << 8443 << QByteArray("/");
        QTest::newRow("no slash") << QByteArray("http://host") << QByteArray("http") << QByteArray()
                                  << 80 << QByteArray("host");
        QTest::newRow("ipv6 with port") << QByteArray("http://[::1]:8080/x") << QByteArray("http")
                                        << QByteArray("[::1]") << 8080 << QByteArray("/x");
        QTest::newRow("ipv6") << QByteArray("http://[::1]/x") << QByteArray("http")
                              << QByteArray("[::1]") << 80 << QByteArray("/x");
        QTest::newRow("not a port") << QByteArray("http://host:web/x") << QByteArray("http")
                                    << QByteArray("host:web") << 80 << QByteArray("/x");
        QTest::newRow("port out of range")
            << QByteArray("http://host:70000/x") << QByteArray("http") << QByteArray("host:70000")
            << 80 << QByteArray("/x");
        QTest::newRow("portal address")
            << QByteArray(
                   "http://127.0.0.1:8080/.?&T%5Bstation%5D=5&T%5Bcategory%5D=ALL&T%5Btime%5D=0")
            << QByteArray("http") << QByteArray("127.0.0.1") << 8080
            << QByteArray("/.?&T%5Bstation%5D=5&T%5Bcategory%5D=ALL&T%5Btime%5D=0");
    }

    void splittingAddresses()
    {
        QFETCH(QByteArray, url);
        const ParsedURL parsed = ParseURL(url);
        QTEST(parsed.scheme, "scheme");
        QTEST(parsed.host, "host");
        QTEST(parsed.port, "port");
        QTEST(parsed.object, "object");
    }

    // 5000 bytes come in pieces of at most 1025: one report each, the length every time, the
    // count rising to 5000, then the page is saved whole.
    void completePageWithProgress()
    {
        FaultServer server;
        const QByteArray body = patternBody(5000);
        server.setReply(
            {.head = FaultServer::okHead(5000), .body = body, .chunkSize = 700, .pauseMs = 5});
        writeOldPage();
        auto fetch = makeFetch(server.url("/program.html?T%5Bstation%5D=5"));
        QSignalSpy progress(fetch.get(), &HttpFetch::OnProgress);
        QSignalSpy done(fetch.get(), &HttpFetch::OnDoneFile);
        QSignalSpy error(fetch.get(), &HttpFetch::OnError);

        fetch->DownloadFile();
        QVERIFY(!fetch->isBusy());
        QCOMPARE(error.size(), 0);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().at(0).toString(), page);
        QCOMPARE(done.first().at(1).toInt(), 5000);
        QCOMPARE(readFile(page), body);

        QVERIFY2(progress.size() >= 5, qPrintable(QString::number(progress.size())));
        int last = 0;
        for (const QList<QVariant>& report : progress) {
            QCOMPARE(report.at(0).toInt(), 5000);
            QVERIFY(report.at(1).toInt() > last);
            QVERIFY(report.at(1).toInt() - last <= 1025);
            last = report.at(1).toInt();
        }
        QCOMPARE(last, 5000);
    }

    // Every failure ends in OnError alone, and the page saved before stays as it was.
    void failuresKeepTheOldPage_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("sendOnly");
        QTest::addColumn<bool>("binary");
        QTest::newRow("not found")
            << FaultServer::statusHead(404, 9) << QByteArray("not found") << -1 << false;
        QTest::newRow("server error")
            << FaultServer::statusHead(500, 5) << QByteArray("oops!") << -1 << false;
        QTest::newRow("short body")
            << FaultServer::okHead(5000) << patternBody(5000) << 1200 << false;
        QTest::newRow("no length, text")
            << FaultServer::headWithoutLength(200) << patternBody(300) << -1 << false;
        QTest::newRow("no length, binary")
            << FaultServer::headWithoutLength(200) << patternBody(300) << -1 << true;
        QTest::newRow("no length, binary, empty")
            << FaultServer::headWithoutLength(200) << QByteArray() << -1 << true;
        QTest::newRow("empty error page without length")
            << FaultServer::headWithoutLength(404) << QByteArray() << -1 << false;
        QTest::newRow("redirect to a file")
            << QByteArray("HTTP/1.0 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: "
                          "0\r\n\r\n")
            << QByteArray() << -1 << false;
    }

    void failuresKeepTheOldPage()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, body);
        QFETCH(int, sendOnly);
        QFETCH(bool, binary);
        FaultServer server;
        server.setReply({.head = head, .body = body, .sendOnly = sendOnly});
        writeOldPage();
        auto fetch = makeFetch(server.url("/x"));
        fetch->BinaryData = binary;
        QSignalSpy done(fetch.get(), &HttpFetch::OnDoneFile);
        QSignalSpy error(fetch.get(), &HttpFetch::OnError);

        fetch->DownloadFile();
        QCOMPARE(done.size(), 0);
        QCOMPARE(error.size(), 1);
        QCOMPARE(readFile(page), kOldPage);
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files), QStringList{"polsat.tv"});
    }

    void connectionRefusedFails()
    {
        writeOldPage();
        auto fetch =
            makeFetch("http://127.0.0.1:" + QByteArray::number(FaultServer::refusedPort()) + "/x");
        QSignalSpy error(fetch.get(), &HttpFetch::OnError);
        fetch->DownloadFile();
        QCOMPARE(error.size(), 1);
        QCOMPARE(readFile(page), kOldPage);
    }

    // An address with nothing to connect to, and a station without a file name, fail too
    // instead of counting as an empty page.
    void nothingToFetchFails_data()
    {
        QTest::addColumn<QByteArray>("url");
        QTest::addColumn<bool>("noFileName");
        QTest::newRow("no host") << QByteArray("http://nohost") << false;
        QTest::newRow("no file name") << QByteArray() << true;
    }

    void nothingToFetchFails()
    {
        QFETCH(QByteArray, url);
        QFETCH(bool, noFileName);
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(2), .body = "ok"});
        auto fetch = makeFetch(url.isEmpty() ? server.url("/x") : url);
        if (noFileName)
            fetch->FileName.clear();
        QSignalSpy done(fetch.get(), &HttpFetch::OnDoneFile);
        QSignalSpy error(fetch.get(), &HttpFetch::OnError);
        fetch->DownloadFile();
        QCOMPARE(done.size(), 0);
        QCOMPARE(error.size(), 1);
    }

    // An empty 2xx reply without a length is a complete, empty page.
    void emptyPageWithoutLength()
    {
        FaultServer server;
        server.setReply({.head = FaultServer::headWithoutLength(200)});
        writeOldPage();
        auto fetch = makeFetch(server.url("/x"));
        QSignalSpy done(fetch.get(), &HttpFetch::OnDoneFile);
        fetch->DownloadFile();
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().at(1).toInt(), 0);
        QCOMPARE(readFile(page), QByteArray());
    }

    void requestForm_data()
    {
        QTest::addColumn<bool>("post");
        QTest::newRow("get") << false;
        QTest::newRow("post with referer, credentials, cache and languages") << true;
    }

    void requestForm()
    {
        QFETCH(bool, post);
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(2), .body = "ok"});
        auto fetch =
            makeFetch(server.url("/.?&T%5Bstation%5D=5&T%5Bcategory%5D=ALL&T%5Btime%5D=0"));
        if (post) {
            fetch->PostQuery = "a=1&b=%C5%82";
            fetch->Referer = "http://example.org/list";
            fetch->UserName = "jan";
            fetch->Password = "tajne";
            fetch->UseCache = true;
            fetch->AcceptLanguage = "en, pl;q=0.5";
        }
        fetch->DownloadFile();
        QCOMPARE(server.requestCount(), 1);
        const QByteArray request = server.requests().first();

        QCOMPARE(requestLine(request),
                 QByteArray(post ? "POST" : "GET") +
                     " /.?&T%5Bstation%5D=5&T%5Bcategory%5D=ALL&T%5Btime%5D=0 HTTP/1.0");
        QCOMPARE(headerValue(request, "Host"), "127.0.0.1:" + QByteArray::number(server.port()));
        QCOMPARE(headerValue(request, "User-Agent"), QByteArray("FlashGet"));
        QCOMPARE(headerValue(request, "Accept"), QByteArray("*/*"));
        QCOMPARE(request.count("Accept:"), 1);
        if (post) {
            QVERIFY(headerValue(request, "Pragma").isNull());
            QVERIFY(headerValue(request, "Cache-Control").isNull());
            QCOMPARE(headerValue(request, "Content-Type"),
                     QByteArray("application/x-www-form-urlencoded"));
            QVERIFY(request.endsWith("\r\n\r\na=1&b=%C5%82"));
            QCOMPARE(headerValue(request, "Referer"), QByteArray("http://example.org/list"));
            QCOMPARE(headerValue(request, "Authorization"),
                     "Basic " + QByteArray("jan:tajne").toBase64());
            QCOMPARE(headerValue(request, "Accept-Language"), QByteArray("en, pl;q=0.5"));
        } else {
            QCOMPARE(headerValue(request, "Pragma"), QByteArray("no-cache"));
            QCOMPARE(headerValue(request, "Cache-Control"), QByteArray("no-cache"));
            QVERIFY(headerValue(request, "Content-Type").isNull());
            QVERIFY(headerValue(request, "Referer").isNull());
            QVERIFY(headerValue(request, "Authorization").isNull());
            QVERIFY(headerValue(request, "Accept-Language").isNull());
            QVERIFY(request.endsWith("\r\n\r\n"));
        }
    }

    // While a download runs, and while its completion is being handled, DownloadFile starts
    // nothing and no second event follows.
    void busyDownloadStartsNothing()
    {
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(3000),
                         .body = patternBody(3000),
                         .chunkSize = 1000,
                         .pauseMs = 30});
        auto fetch = makeFetch(server.url("/x"), false);
        int inside = 0;
        connect(fetch.get(), &HttpFetch::OnDoneFile, fetch.get(), [&] {
            QVERIFY(fetch->isBusy());
            fetch->DownloadFile();
            ++inside;
        });
        QSignalSpy done(fetch.get(), &HttpFetch::OnDoneFile);
        QSignalSpy error(fetch.get(), &HttpFetch::OnError);

        fetch->DownloadFile();
        QVERIFY(fetch->isBusy());
        fetch->DownloadFile();
        QVERIFY(done.wait(5000));
        QTest::qWait(100);
        QCOMPARE(inside, 1);
        QCOMPARE(done.size(), 1);
        QCOMPARE(error.size(), 0);
        QCOMPARE(server.requestCount(), 1);
        QVERIFY(!fetch->isBusy());
    }

    // A waiting DownloadFile keeps the event loop running: a timer fires inside it, and a
    // nested DownloadFile from that timer returns at once.
    void waitingRunsTheEventLoop()
    {
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(2000),
                         .body = patternBody(2000),
                         .chunkSize = 500,
                         .pauseMs = 50});
        auto fetch = makeFetch(server.url("/x"));
        bool nestedReturned = false;
        QTimer::singleShot(20, fetch.get(), [&] {
            QVERIFY(fetch->isBusy());
            fetch->DownloadFile();
            nestedReturned = true;
        });
        QSignalSpy done(fetch.get(), &HttpFetch::OnDoneFile);
        fetch->DownloadFile();
        QVERIFY(nestedReturned);
        QCOMPARE(done.size(), 1);
        QCOMPARE(server.requestCount(), 1);
    }

    void cancelBeforeTheWorkerStartsSendsNothing()
    {
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(2), .body = "ok"});
        writeOldPage();
        auto fetch = makeFetch(server.url("/x"), false);
        QSignalSpy error(fetch.get(), &HttpFetch::OnError);
        fetch->DownloadFile();
        fetch->CancelDownload();
        QVERIFY(error.wait(5000));
        QCOMPARE(server.requestCount(), 0);
        QCOMPARE(readFile(page), kOldPage);
    }

    // A server that trickles one byte at a time keeps above any low-speed limit; the overall
    // deadline ends the download anyway, and the old page stays.
    void deadlineEndsATricklingDownload()
    {
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(100),
                         .body = patternBody(100),
                         .chunkSize = 1,
                         .pauseMs = 200});
        writeOldPage();
        auto fetch = makeFetch(server.url("/x"));
        QCOMPARE(fetch->deadline(), std::chrono::milliseconds(60000));
        fetch->setDeadline(std::chrono::milliseconds(700));
        QSignalSpy error(fetch.get(), &HttpFetch::OnError);
        QSignalSpy done(fetch.get(), &HttpFetch::OnDoneFile);
        QSignalSpy progress(fetch.get(), &HttpFetch::OnProgress);
        fetch->DownloadFile();
        QCOMPARE(error.size(), 1);
        QCOMPARE(done.size(), 0);
        QVERIFY(progress.size() > 0 && progress.size() < 100);
        QCOMPARE(readFile(page), kOldPage);
    }

    // A stalled body is cut short by a cancel, from a timer or from the progress handler.
    void cancelStopsAStalledDownload_data()
    {
        QTest::addColumn<bool>("fromProgress");
        QTest::newRow("from a timer") << false;
        QTest::newRow("from the progress handler") << true;
    }

    void cancelStopsAStalledDownload()
    {
        QFETCH(bool, fromProgress);
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(5000),
                         .body = patternBody(5000),
                         .sendOnly = 1000,
                         .stallAfter = true});
        writeOldPage();
        auto fetch = makeFetch(server.url("/x"));
        if (fromProgress)
            connect(fetch.get(), &HttpFetch::OnProgress, fetch.get(), &HttpFetch::CancelDownload);
        else
            QTimer::singleShot(300, fetch.get(), &HttpFetch::CancelDownload);
        QSignalSpy error(fetch.get(), &HttpFetch::OnError);
        QSignalSpy done(fetch.get(), &HttpFetch::OnDoneFile);
        fetch->DownloadFile(); // returns once the cancel has ended the transfer
        QCOMPARE(error.size(), 1);
        QCOMPARE(done.size(), 0);
        QCOMPARE(readFile(page), kOldPage);
    }

    // Destroying the component mid-download: the worker finishes on its own, nothing reaches
    // the destroyed component, the old page stays, nothing hangs.
    void destroyedMidDownload_data()
    {
        QTest::addColumn<bool>("wait");
        QTest::newRow("from the progress handler, while waiting") << true;
        QTest::newRow("after the first report, not waiting") << false;
    }

    void destroyedMidDownload()
    {
        QFETCH(bool, wait);
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(5000),
                         .body = patternBody(5000),
                         .sendOnly = 1000,
                         .stallAfter = true});
        writeOldPage();
        HttpFetch* fetch = makeFetch(server.url("/x"), wait).release();
        QPointer<HttpFetch> watch(fetch);
        int reports = 0;
        connect(fetch, &HttpFetch::OnProgress, fetch, [&] {
            ++reports;
            if (wait)
                delete fetch; // DownloadFile, further up this stack, must not touch it again
        });
        fetch->DownloadFile();
        if (!wait) {
            QTRY_VERIFY(reports > 0);
            delete fetch;
        }
        QVERIFY(watch.isNull());
        server.releaseStalls();
        QTest::qWait(300); // let the worker end and clean up after itself
        QVERIFY(reports >= 1);
        if (wait)
            QCOMPARE(reports, 1);
        QCOMPARE(readFile(page), kOldPage);
    }
};

QTEST_MAIN(TestHttpFetch)
#include "tst_httpfetch.moc"
