// How much CPU the whole program burns while DownloadFile waits for a slow page.
//
// A loopback server in a child process (so its work is not counted) sends a 1 MB page at about
// 100 KB/s: 1024-byte pieces every 10 ms. The parent fetches it with WaitThread set, as the
// main window does, and reports its own user + system CPU time as a share of the wall time.
//
// Run: build/bench/bench_waitthread_cpu

#include "net/httpfetch.h"
#include "support/faultserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

constexpr int kPageSize = 1024 * 1024;

} // namespace

int main(int argc, char* argv[])
{
    int toParent[2];
    int toChild[2];
    if (pipe(toParent) != 0 || pipe(toChild) != 0)
        return 1;

    const pid_t child = fork();
    if (child == 0) {
        FaultServer server;
        server.setReply(
            {FaultServer::okHead(kPageSize), QByteArray(kPageSize, 'x'), 1024, 10, -1, false});
        const quint16 port = server.port();
        [[maybe_unused]] ssize_t n = write(toParent[1], &port, sizeof port);
        char done;
        n = read(toChild[0], &done, 1); // until the parent has its page
        _exit(0);
    }

    quint16 port = 0;
    if (read(toParent[0], &port, sizeof port) != sizeof port)
        return 1;

    HttpFetch::globalInit();
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    HttpFetch fetch;
    fetch.Agent = "FlashGet";
    fetch.WaitThread = true;
    fetch.URL = "http://127.0.0.1:" + QByteArray::number(port) + "/program.html?T%5Bstation%5D=5";
    fetch.FileName = folder.filePath(QStringLiteral("page.tv"));
    int reports = 0;
    int size = -1;
    QObject::connect(&fetch, &HttpFetch::OnProgress, [&](int, int) { ++reports; });
    QObject::connect(&fetch, &HttpFetch::OnDoneFile,
                     [&](const QString&, int fileSize) { size = fileSize; });

    QElapsedTimer wall;
    const double cpuBefore = cpuSeconds();
    wall.start();
    fetch.DownloadFile();
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;

    [[maybe_unused]] ssize_t n = write(toChild[1], "x", 1);
    waitpid(child, nullptr, 0);

    std::printf("page %d bytes in %.2f s, %d progress reports\n", size, seconds, reports);
    std::printf("process CPU %.3f s = %.2f %% of the wall time\n", cpu, 100.0 * cpu / seconds);
    return size == kPageSize ? 0 : 1;
}
