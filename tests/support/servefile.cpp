// ekranik_servefile FILE: serves FILE whole, with its length, to every request on a loopback
// port, as a web server would serve a listings file. Prints "http://127.0.0.1:PORT/" once it
// listens, and serves until SIGTERM or SIGINT.
#include "support/faultserver.h"

#include <QFile>
#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ekranik_servefile FILE\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "ekranik_servefile: cannot read %s\n", argv[1]);
        return 1;
    }
    const QByteArray body = file.readAll();
    // Taken by sigwait below, never by a handler, on every thread the server starts.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);

    FaultServer server;
    server.setReply({FaultServer::okHead(body.size()), body});
    std::printf("%s\n", server.url("/").constData());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&ending, &signal);
    return 0;
}
