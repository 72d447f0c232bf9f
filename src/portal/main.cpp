// ekranik-portal: serves the listings pages ekranik downloads, made from an XMLTV file.

#include "portal/listings.h"
#include "portal/portalserver.h"
#include "portal/stationmap.h"
#include "portal/xmltvreader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QRegularExpression>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>

namespace {

constexpr int kUsageError = 2;
constexpr int kStartError = 1;

void printError(const QString& text)
{
    std::fprintf(stderr, "ekranik-portal: %s\n", qPrintable(text));
}

struct ListenAddress {
    QString host;
    int port = 0;
};

// "ADDRESS:PORT", the address an IPv4 address or host name, or an IPv6 address in brackets.
std::optional<ListenAddress> parseListenAddress(const QString& text)
{
    static const QRegularExpression kForm(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([^:\\[\\]]+)):([0-9]{1,5})$"));
    const QRegularExpressionMatch match = kForm.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int port = match.captured(3).toInt();
    if (port > 65535)
        return std::nullopt;
    const QString host = match.hasCaptured(1) ? match.captured(1) : match.captured(2);
    return ListenAddress{host, port};
}

} // namespace

int main(int argc, char* argv[])
{
    // SIGTERM and SIGINT end the serving, and the portal returns from main like any ending:
    // they are taken by a thread of their own, never by a handler in the middle of the loop.
    // Blocked before any thread starts, so that every thread inherits it.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ekranik-portal"));
    QCoreApplication::setApplicationVersion(QStringLiteral(EKRANIK_VERSION));

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Serves the television listings pages ekranik downloads, made from an XMLTV file:\n"
        "  /.?&T%5Bstation%5D=N&T%5Bcategory%5D=ALL&T%5Btime%5D=0\n"
        "  /program.html?T%5Bstation%5D=N\n"
        "give the programme of the day of the channel that station number N shows."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral(
            "Address and port to serve on, 127.0.0.1:8080 unless given (port 0: any free one)."),
        QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:8080"));
    const QCommandLineOption xmltv(QStringLiteral("xmltv"),
                                   QStringLiteral("The XMLTV listings file to serve."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption stations(
        QStringLiteral("stations"),
        QStringLiteral("The station map: one \"NUMBER CHANNEL-ID\" a line, # comments."),
        QStringLiteral("FILE"));
    const QCommandLineOption today(
        QStringLiteral("today"),
        QStringLiteral("Move the listings to today, keeping their times of day (for demo data)."));
    options.addOptions({listen, xmltv, stations, today});
    options.process(app);

    if (!options.positionalArguments().isEmpty()) {
        printError(QStringLiteral("unexpected argument \"%1\"; see --help.")
                       .arg(options.positionalArguments().first()));
        return kUsageError;
    }
    const std::optional<ListenAddress> address = parseListenAddress(options.value(listen));
    if (!address) {
        printError(QStringLiteral("--listen wants ADDRESS:PORT, e.g. 127.0.0.1:8080, not \"%1\".")
                       .arg(options.value(listen)));
        return kUsageError;
    }
    if (!options.isSet(xmltv) || !options.isSet(stations)) {
        printError(QStringLiteral("--xmltv FILE and --stations FILE are required; see --help."));
        return kUsageError;
    }

    QString error;
    std::optional<StationMap> stationMap = StationMap::read(options.value(stations), &error);
    if (!stationMap) {
        printError(error);
        return kStartError;
    }
    std::optional<Listings> listings = readXmltv(options.value(xmltv), &error);
    if (!listings) {
        printError(error);
        return kStartError;
    }
    for (const int station : stationMap->stations()) {
        const QString& channel = *stationMap->channel(station);
        if (!listings->channel(channel))
            printError(QStringLiteral("warning: station %1 (\"%2\", line %3) shows channel "
                                      "\"%4\", which \"%5\" has no listings for.")
                           .arg(station)
                           .arg(options.value(stations))
                           .arg(stationMap->line(station))
                           .arg(channel, options.value(xmltv)));
    }
    if (options.isSet(today))
        listings->moveToDay(QDate::currentDate());

    // Every connection takes a file: room for the portal's limit of connections, where the
    // system lets the soft limit (often 1024) go higher.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    const qsizetype programmes = listings->programmeCount();
    static std::mutex logMutex;
    PortalServer server(std::move(*listings), std::move(*stationMap), {},
                        [](const QByteArray& line) {
                            const std::lock_guard<std::mutex> lock(logMutex);
                            std::fprintf(stderr, "%s\n", line.constData());
                        });
    const int port = server.bind(address->host, address->port);
    if (port < 0) {
        printError(QStringLiteral("cannot listen on %1 (is the port in use?).")
                       .arg(options.value(listen)));
        return kStartError;
    }
    const QString shownHost =
        address->host.contains(u':') ? u'[' + address->host + u']' : address->host;
    std::printf("ekranik-portal: serving %lld programmes on http://%s:%d/\n",
                static_cast<long long>(programmes), qPrintable(shownHost), port);
    std::fflush(stdout);
    std::thread ender([&server, endSignals] {
        int signal = 0;
        sigwait(&endSignals, &signal);
        server.stop();
    });
    const bool served = server.serve();
    // Served to the end on its own: the waiting thread still has to be let go.
    pthread_kill(ender.native_handle(), SIGTERM);
    ender.join();
    if (!served) {
        printError(QStringLiteral("cannot serve on %1.").arg(options.value(listen)));
        return kStartError;
    }
    return 0;
}
