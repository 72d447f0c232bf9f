#include "portal/portalrouter.h"

#include "portal/channelsjson.h"
#include "portal/frontpage.h"
#include "portal/hostedtext.h"
#include "portal/listingpage.h"
#include "portal/listingrequest.h"
#include "portal/programtext.h"

#include <QHash>
#include <algorithm>
#include <array>

namespace {

const char kFrontPageType[] = "text/html; charset=utf-8";
const char kStationsFileType[] = "text/plain; charset=windows-1250";
const char kChannelsJsonType[] = "application/json; charset=utf-8";

// A Host header that can stand in a station line: a host name or address and maybe a port,
// nothing a client could slip more into the line with.
bool isHostAndPort(std::string_view host)
{
    if (host.empty() || host.size() > 255)
        return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    });
}

// An address the portal does not have: caches may keep saying so for a minute.
PortalRouter::Reply notFound(const QString& reason)
{
    const QByteArray body = errorPage(404, reason);
    return {404, body, PortalRouter::Reply().type, 0, Freshness{kMaxListAge, entityTag(body), 0}};
}

} // namespace

QString statusReason(int status)
{
    switch (status) {
    case 400:
        return QStringLiteral("Błędne zapytanie.");
    case 404:
        return QStringLiteral("Nie ma takiej strony.");
    case 405:
        return QStringLiteral("Portal podaje strony tylko na GET i HEAD.");
    case 413:
        return QStringLiteral("Zapytanie jest za duże.");
    case 414:
        return QStringLiteral("Adres jest za długi.");
    case 431:
        return QStringLiteral("Nagłówek zapytania jest za długi.");
    case 503:
        return QStringLiteral("Portal wczytuje programy; spróbuj za chwilę.");
    default:
        return status < 500 ? QStringLiteral("Błędne zapytanie.") : QStringLiteral("Błąd serwera.");
    }
}

// The station pages of one catalogue as built, one a channel, each as long as it stays the same:
// every client asking for a channel's page until its next programme starts gets the same
// bytes, built once and held once however many are sending them.
class PortalRouter::StationPages {
public:
    struct Page {
        PageWindow window;
        QByteArray body;
        QByteArray etag;
    };

    std::optional<Page> find(const QString& channelId, qint64 instant) const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_pages.constFind(channelId);
        if (it == m_pages.cend() || instant < it->window.from || instant >= it->window.until)
            return std::nullopt;
        return *it;
    }
    void keep(const QString& channelId, const Page& page)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_pages.insert(channelId, page);
    }

private:
    mutable std::mutex m_mutex;
    QHash<QString, Page> m_pages;
};

struct PortalRouter::Pages {
    // Null until the first listings are in.
    std::shared_ptr<const Catalogue> catalogue;
    // The minute of the front page, in minutes since the epoch.
    qint64 minute = 0;
    // When these pages were built, and when the listings came, in seconds since the epoch.
    qint64 builtAt = 0;
    qint64 listingsAt = 0;
    std::array<HostedText, kFrontLanguages> front; // by FrontLanguage
    HostedText stations;
    std::array<HostedText, kFrontLanguages> channels; // by FrontLanguage: the problems' reasons
    // The state of the reading that /channels.json tells.
    QList<SourceProblem> problems;
    bool firstReadingFailed = false;
    std::shared_ptr<StationPages> stationPages = std::make_shared<StationPages>();
};

PortalRouter::Reply PortalRouter::errorReply(int status, const QString& reason, int retryAfter)
{
    return {status, errorPage(status, reason), Reply().type, retryAfter, {}};
}

PortalRouter::PortalRouter(StationMap stations, Clock clock)
    : m_stations(std::move(stations)), m_clock(std::move(clock))
{
    m_pages = build(nullptr, nullptr, Pages());
    m_builder = std::thread([this] { buildEveryMinute(); });
}

PortalRouter::~PortalRouter()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_builderWake.notify_all();
    m_builder.join();
}

std::shared_ptr<const Catalogue> PortalRouter::catalogue() const
{
    return pages()->catalogue;
}

void PortalRouter::replaceListings(Listings listings)
{
    auto catalogue = std::make_shared<const Catalogue>(std::move(listings), m_stations);
    const std::lock_guard<std::mutex> building(m_buildMutex);
    std::shared_ptr<const Pages> fresh = build(std::move(catalogue), nullptr, *pages());
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pages.swap(fresh);
    // The old pages go when their last request is answered, or here.
}

void PortalRouter::setProblems(QList<SourceProblem> problems)
{
    const std::lock_guard<std::mutex> building(m_buildMutex);
    restate(std::move(problems), pages()->firstReadingFailed);
}

void PortalRouter::setFirstReadingFailed()
{
    const std::lock_guard<std::mutex> building(m_buildMutex);
    restate(pages()->problems, true);
}

void PortalRouter::restate(QList<SourceProblem> problems, bool firstReadingFailed)
{
    const std::shared_ptr<const Pages> current = pages();
    if (current->problems == problems && current->firstReadingFailed == firstReadingFailed)
        return;
    Pages state;
    state.problems = std::move(problems);
    state.firstReadingFailed = firstReadingFailed;
    std::shared_ptr<const Pages> fresh = build(current->catalogue, current.get(), state);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pages.swap(fresh);
}

qint64 PortalRouter::minuteOf(const QDateTime& time)
{
    return time.toSecsSinceEpoch() / 60;
}

QDateTime PortalRouter::now() const
{
    return m_clock ? m_clock() : QDateTime::currentDateTime();
}

std::shared_ptr<const PortalRouter::Pages>
PortalRouter::build(std::shared_ptr<const Catalogue> catalogue, const Pages* earlier,
                    const Pages& state) const
{
    auto pages = std::make_shared<Pages>();
    const QDateTime at = now();
    pages->minute = minuteOf(at);
    pages->builtAt = at.toSecsSinceEpoch();
    pages->listingsAt =
        earlier && earlier->catalogue == catalogue ? earlier->listingsAt : pages->builtAt;
    pages->problems = state.problems;
    pages->firstReadingFailed = state.firstReadingFailed;
    for (const FrontLanguage language : {FrontLanguage::Polish, FrontLanguage::English}) {
        pages->channels[std::size_t(language)] =
            channelsJson(catalogue.get(), state.firstReadingFailed, state.problems, at, language);
        if (catalogue)
            pages->front[std::size_t(language)] = frontPage(*catalogue, at, language);
    }
    if (catalogue) {
        // The station list and the station pages stay as long as the listings do.
        if (earlier && earlier->catalogue == catalogue) {
            pages->stations = earlier->stations;
            pages->stationPages = earlier->stationPages;
        } else {
            pages->stations = stationsFile(*catalogue);
        }
    }
    pages->catalogue = std::move(catalogue);
    return pages;
}

void PortalRouter::buildEveryMinute()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        // Just after the next minute starts by the system's clock, or when a request finds the
        // front page of another minute (the clock jumped, or the portal's is not the system's).
        const auto nextMinute =
            std::chrono::floor<std::chrono::minutes>(std::chrono::system_clock::now()) +
            std::chrono::minutes(1) + std::chrono::milliseconds(10);
        m_builderWake.wait_until(lock, nextMinute, [this] { return m_stopping || m_rebuildAsked; });
        m_rebuildAsked = false;
        if (m_stopping)
            continue;
        lock.unlock();
        {
            // Whatever came meanwhile (new listings, new problems) came with pages of its own.
            const std::lock_guard<std::mutex> building(m_buildMutex);
            const std::shared_ptr<const Pages> current = pages();
            if (current->catalogue && current->minute != minuteOf(now())) {
                std::shared_ptr<const Pages> fresh =
                    build(current->catalogue, current.get(), *current);
                const std::lock_guard<std::mutex> swapping(m_mutex);
                m_pages.swap(fresh);
            }
        }
        lock.lock();
    }
}

std::shared_ptr<const PortalRouter::Pages> PortalRouter::pages() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_pages;
}

PortalRouter::Reply PortalRouter::answer(std::string_view target, std::string_view host,
                                         std::string_view acceptLanguage) const
{
    return *answer(target, host, acceptLanguage, true);
}

std::optional<PortalRouter::Reply>
PortalRouter::answerOrDefer(std::string_view target, std::string_view host,
                            std::string_view acceptLanguage) const
{
    return answer(target, host, acceptLanguage, false);
}

std::optional<PortalRouter::Reply> PortalRouter::answer(std::string_view target,
                                                        std::string_view host,
                                                        std::string_view acceptLanguage,
                                                        bool mayBuild) const
{
    const ListingRequest request = parseListingRequest(target);
    switch (request.status) {
    case ListingRequest::Status::BadRequest:
        return errorReply(400, request.reason);
    case ListingRequest::Status::NotFound:
        return notFound(request.reason);
    case ListingRequest::Status::Ok:
        break;
    }
    const std::shared_ptr<const Pages> served = pages();
    const QByteArrayView hostPort =
        isHostAndPort(host) ? QByteArrayView(host.data(), qsizetype(host.size())) : m_ownAddress;
    const bool perMinute = request.kind == ListingRequest::Kind::FrontPage ||
                           request.kind == ListingRequest::Kind::ChannelsJson;
    if (perMinute && served->catalogue && served->minute != minuteOf(now())) {
        // Served as it is; the builder makes the one of this minute.
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_rebuildAsked = true;
        m_builderWake.notify_one();
    }
    // /channels.json tells how the reading goes, so it is there while it goes.
    if (!served->catalogue && request.kind != ListingRequest::Kind::ChannelsJson)
        return errorReply(503, statusReason(503), kRetryAfterSeconds);
    const QDateTime at = now();
    // What changes with the minute is good until it ends; and it is as old as its build.
    const int restOfMinute = int(60 - at.toSecsSinceEpoch() % 60);
    const auto listed = [&](QByteArray body, const char* type, int maxAge, qint64 since) {
        const QByteArray etag = entityTag(body);
        return Reply{200, std::move(body), type, 0, Freshness{maxAge, etag, since}};
    };
    // The front page and /channels.json, built in each language, answer in the one asked for.
    const auto inLanguage = [&](const std::array<HostedText, kFrontLanguages>& built,
                                const char* type) {
        Reply reply = listed(built[std::size_t(frontLanguage(acceptLanguage))].with(hostPort), type,
                             restOfMinute, served->builtAt);
        reply.byLanguage = true;
        return reply;
    };
    switch (request.kind) {
    case ListingRequest::Kind::ChannelsJson:
        return inLanguage(served->channels, kChannelsJsonType);
    case ListingRequest::Kind::FrontPage:
        return inLanguage(served->front, kFrontPageType);
    case ListingRequest::Kind::StationsFile:
        return listed(served->stations.with(hostPort), kStationsFileType, kMaxListAge,
                      served->listingsAt);
    case ListingRequest::Kind::Page:
        break;
    }

    const Catalogue& catalogue = *served->catalogue;
    QString channelId = request.channel;
    if (channelId.isNull()) {
        const QString* mapped = catalogue.channelOfStation(request.station);
        if (!mapped)
            return notFound(QStringLiteral("Nie ma stacji numer %1.").arg(request.station));
        channelId = *mapped;
    }
    // A station page stays the same until its next programme starts or midnight; it is new
    // since its window began or the listings came, whichever was later.
    const auto page = [&](const StationPages::Page& kept) {
        const qint64 left = (kept.window.until - at.toMSecsSinceEpoch() + 999) / 1000;
        return Reply{200, kept.body, Reply().type, 0,
                     Freshness{int(std::clamp<qint64>(left, 0, kMaxPageAge)), kept.etag,
                               std::max(kept.window.from / 1000, served->listingsAt)}};
    };
    if (const Channel* channel = catalogue.listings().channel(channelId)) {
        if (std::optional<StationPages::Page> kept =
                served->stationPages->find(channelId, at.toMSecsSinceEpoch()))
            return page(*kept);
        if (!mayBuild)
            return std::nullopt;
        StationPages::Page built;
        built.body = listingPage(*channel, at, &built.window);
        built.etag = entityTag(built.body);
        served->stationPages->keep(channelId, built);
        return page(built);
    }
    if (!request.channel.isNull())
        return notFound(QStringLiteral("Nie ma kanału %1.").arg(channelId));
    // A station whose channel has no listings gets the page of an empty day.
    Channel empty;
    empty.id = channelId;
    empty.name = programText(channelId);
    StationPages::Page day;
    day.body = listingPage(empty, at, &day.window);
    day.etag = entityTag(day.body);
    return page(day);
}
