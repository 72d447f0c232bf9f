// ekranik-portal: serves the listings pages ekranik downloads, made from XMLTV listings.

#include "portal/listings.h"
#include "portal/logtext.h"
#include "portal/portaldoor.h"
#include "portal/portalserver.h"
#include "portal/reloader.h"
#include "portal/stationmap.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <curl/curl.h>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <sys/resource.h>
#include <thread>

namespace {

constexpr int kUsageError = 2;
constexpr int kStartError = 1;

// One line to stdout or stderr, whole, from any thread; what came from outside (a request, a
// listings file) is written safely (see logText).
void writeLine(std::FILE* stream, const QByteArray& line)
{
    static std::mutex mutex;
    const QByteArray text = logText(line) + '\n';
    const std::lock_guard<std::mutex> lock(mutex);
    std::fwrite(text.constData(), 1, size_t(text.size()), stream);
    std::fflush(stream);
}

void printError(const QString& text)
{
    writeLine(stderr, "ekranik-portal: " + text.toLocal8Bit());
}

// Station numbers of the map whose channel the listings do not have.
void warnAboutStations(const Catalogue& catalogue, const StationMap& map, const QString& mapFile)
{
    for (const int station : map.stations()) {
        if (!catalogue.listings().channel(*catalogue.channelOfStation(station)))
            printError(QStringLiteral("warning: station %1 (\"%2\", line %3) shows channel "
                                      "\"%4\", which the listings have no channel for.")
                           .arg(QString::number(station), mapFile,
                                QString::number(map.line(station)), *map.channel(station)));
    }
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

// The default cache folder: the user's XDG cache folder.
QString defaultCacheFolder()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return (base.isEmpty() ? QDir::tempPath() : base) + QStringLiteral("/ekranik-portal");
}

} // namespace

int main(int argc, char* argv[])
{
    // SIGTERM and SIGINT end the serving and SIGHUP reads the listings again; all three are
    // taken by a thread of their own, never by a handler in the middle of the loop. Blocked
    // before any thread starts, so that every thread inherits it.
    sigset_t takenSignals;
    sigemptyset(&takenSignals);
    sigaddset(&takenSignals, SIGTERM);
    sigaddset(&takenSignals, SIGINT);
    sigaddset(&takenSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &takenSignals, nullptr);
    // Before any thread exists: libcurl's global state for the downloads of sources.
    curl_global_init(CURL_GLOBAL_DEFAULT);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ekranik-portal"));
    QCoreApplication::setApplicationVersion(QStringLiteral(EKRANIK_VERSION));

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Serves the television listings pages ekranik downloads, made from XMLTV listings:\n"
        "  /.?&T%5Bstation%5D=N&T%5Bcategory%5D=ALL&T%5Btime%5D=0\n"
        "  /program.html?T%5Bstation%5D=N\n"
        "give the programme of the day of the channel that station number N shows,\n"
        "  /program.html?T%5Bchannel%5D=ID\n"
        "that of the channel with that id. / lists every channel with its station line for\n"
        "ekranik, /stations.txt gives them all as a ready programy.tv."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral(
            "Address and port to serve on, 127.0.0.1:8080 unless given (port 0: any free one)."),
        QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:8080"));
    const QCommandLineOption xmltv(
        QStringLiteral("xmltv"),
        QStringLiteral("XMLTV listings to serve: a file or an http/https address, plain, gzip- "
                       "or xz-compressed. May be given several times; for a channel in several "
                       "sources, the first one's programmes are served."),
        QStringLiteral("SOURCE"));
    const QCommandLineOption stations(
        QStringLiteral("stations"),
        QStringLiteral("The station map: one \"NUMBER CHANNEL\" a line, # comments; CHANNEL is "
                       "a channel id or display name."),
        QStringLiteral("FILE"));
    const QCommandLineOption today(
        QStringLiteral("today"),
        QStringLiteral("Move the listings to today, keeping their times of day (for demo data)."));
    const QCommandLineOption refresh(
        QStringLiteral("refresh"),
        QStringLiteral("Read every source again after this many hours, 6 unless given; SIGHUP "
                       "reads them at once."),
        QStringLiteral("HOURS"), QStringLiteral("6"));
    const QCommandLineOption cache(
        QStringLiteral("cache"),
        QStringLiteral("Where downloaded listings are kept, %1 unless given.")
            .arg(defaultCacheFolder()),
        QStringLiteral("DIR"));
    const QCommandLineOption lang(
        QStringLiteral("lang"),
        QStringLiteral("The language of the titles to show where there are several, pl unless "
                       "given."),
        QStringLiteral("LANG"), QStringLiteral("pl"));
    const QCommandLineOption keepServing(
        QStringLiteral("keep-serving"),
        QStringLiteral("When the first reading of the listings fails, go on serving: pages say "
                       "the listings are being read (503), /channels.json says why, and SIGHUP "
                       "reads them again."));
    const QCommandLineOption maxPerAddress(
        QStringLiteral("max-per-address"),
        QStringLiteral("Open connections one client address may hold, 64 unless given; 0 for no "
                       "limit but the portal's own."),
        QStringLiteral("N"), QStringLiteral("64"));
    const QCommandLineOption trustedProxy(
        QStringLiteral("trusted-proxy"),
        QStringLiteral("A proxy in front of the portal (nginx, a cache): its connections are not "
                       "held to --max-per-address, and the log names the client it gives in "
                       "X-Forwarded-For. May be given several times."),
        QStringLiteral("ADDRESS"));
    options.addOptions({listen, xmltv, stations, today, refresh, cache, lang, keepServing,
                        maxPerAddress, trustedProxy});
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
    if (!options.isSet(xmltv)) {
        printError(QStringLiteral("--xmltv SOURCE is required; see --help."));
        return kUsageError;
    }
    bool hoursOk = false;
    const double hours = QLocale::c().toDouble(options.value(refresh), &hoursOk);
    // At least a minute; at most a year, which is as good as never.
    if (!hoursOk || hours < 1.0 / 60 || hours > 24 * 366) {
        printError(QStringLiteral("--refresh wants a number of hours, e.g. 6 or 0.5, not \"%1\".")
                       .arg(options.value(refresh)));
        return kUsageError;
    }

    PortalLimits limits;
    bool perAddressOk = false;
    limits.perAddress = options.value(maxPerAddress).toUInt(&perAddressOk);
    if (!perAddressOk || limits.perAddress > 1000000) {
        printError(QStringLiteral("--max-per-address wants a number of connections, e.g. 64, or "
                                  "0 for none, not \"%1\".")
                       .arg(options.value(maxPerAddress)));
        return kUsageError;
    }
    for (const QString& proxy : options.values(trustedProxy)) {
        const std::optional<std::string> key = addressKeyOf(proxy.toStdString());
        if (!key) {
            printError(QStringLiteral("--trusted-proxy wants an IP address, e.g. 127.0.0.1 or "
                                      "::1, not \"%1\".")
                           .arg(proxy));
            return kUsageError;
        }
        limits.trustedProxies.push_back(*key);
    }

    QString error;
    StationMap stationMap;
    if (options.isSet(stations)) {
        std::optional<StationMap> read = StationMap::read(options.value(stations), &error);
        if (!read) {
            printError(error);
            return kStartError;
        }
        stationMap = std::move(*read);
    }

    const auto log = [](const QByteArray& line) { writeLine(stderr, line); };
    Reloader::Options reloading;
    reloading.refresh = std::chrono::milliseconds(qint64(hours * 3600 * 1000));
    reloading.cacheFolder = options.isSet(cache) ? options.value(cache) : defaultCacheFolder();
    reloading.lang = options.value(lang);
    reloading.moveToToday = options.isSet(today);
    Reloader reloader(options.values(xmltv), reloading, [&log](const QString& line) {
        log("ekranik-portal: " + line.toLocal8Bit());
    });
    const StationMap map = stationMap;
    PortalServer server(std::move(stationMap), {}, log, limits);

    // Every connection takes a file: room for the portal's limit of connections, where the
    // system lets the soft limit (often 1024) go higher.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    const int port = server.bind(address->host, address->port);
    if (port < 0) {
        printError(QStringLiteral("cannot listen on %1 (is the port in use?).")
                       .arg(options.value(listen)));
        return kStartError;
    }
    const QString shownHost =
        address->host.contains(u':') ? u'[' + address->host + u']' : address->host;
    const QByteArray hostPort = QStringLiteral("%1:%2").arg(shownHost).arg(port).toUtf8();
    // The port is taken at once, and answers that the listings are being read (a 503) until
    // they are in: a big source or a slow download must not look like a portal that is down.
    // Scripts wait for the "serving ... on http://..." line, which comes once they are in.
    writeLine(stdout, "ekranik-portal: listening on " + hostPort + ", reading the listings");

    // The first listings, however they come: served, and announced once.
    std::atomic<bool> announced{false};
    const auto serveListings = [&](Listings listings) {
        const qsizetype programmes = listings.programmeCount();
        server.replaceListings(std::move(listings));
        if (announced.exchange(true))
            return;
        warnAboutStations(*server.catalogue(), map, options.value(stations));
        writeLine(stdout, "ekranik-portal: serving " + QByteArray::number(programmes) +
                              " programmes on http://" + hostPort + '/');
    };
    const auto tellProblems = [&server](QList<SourceProblem> problems) {
        server.setProblems(std::move(problems));
    };

    // The first reading, on a thread of its own so that serving starts at once and SIGTERM
    // can cut it short. A file that cannot be read ends the portal, as before it served, unless
    // it is to keep serving.
    std::atomic<bool> ending{false};
    std::atomic<bool> firstFailed{false};
    std::thread reading([&] {
        QString error;
        const bool read = reloader.loadFirst(&error);
        if (ending)
            return;
        server.setProblems(reloader.problems());
        if (!read) {
            printError(error);
            if (!options.isSet(keepServing)) {
                firstFailed = true;
                server.stop();
                return;
            }
            server.setFirstReadingFailed();
            writeLine(stdout, "ekranik-portal: cannot read the listings; /channels.json says why");
        } else {
            serveListings(reloader.merged());
        }
        reloader.start(serveListings, tellProblems);
    });
    std::thread signalled([&server, &reloader, takenSignals] {
        for (;;) {
            int signal = 0;
            sigwait(&takenSignals, &signal);
            if (signal != SIGHUP)
                break;
            reloader.reloadNow();
        }
        server.stop();
    });
    const bool servedToTheEnd = server.serve();
    ending = true;
    // Cuts short a first reading or a download still running, and ends the reloading.
    reloader.stop();
    reading.join();
    // Served to the end on its own: the waiting thread still has to be let go.
    pthread_kill(signalled.native_handle(), SIGTERM);
    signalled.join();
    curl_global_cleanup();
    if (firstFailed)
        return kStartError;
    if (!servedToTheEnd) {
        printError(QStringLiteral("cannot serve on %1.").arg(options.value(listen)));
        return kStartError;
    }
    return 0;
}
