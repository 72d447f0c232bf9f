// Any bytes as the target of a request to the portal (and, before a line break, as its Host
// header), answered from small fixed listings. parseListingRequest either accepts a station
// number of at most nine digits or a channel id, or gives a reason; the answer is 200 exactly
// for an accepted number the station map knows or a channel the listings have, 404 for an
// unknown one or another page, 400 for the rest. However the address is written, an accepted
// number or channel gets the same answer as its plain form. Every such answer is an HTML page
// with CR LF breaks; only a station's page has the on-air marker, and ekranik reads from it
// the programme on air, from an error page no programme at all. The front page, the station
// list and /channels.json name the portal by the Host header only when it is a plain host and
// port, and each station line is one that ekranik's station list takes; /channels.json is JSON
// whatever the Host, with the station list's lines in its order.

#include "fuzzsupport.h"
#include "portal/catalogue.h"
#include "portal/frontpage.h"
#include "portal/listingrequest.h"
#include "portal/portalrouter.h"
#include "text/shorten.h"
#include "update/pagetext.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdint>
#include <string>

namespace {

PortalRouter* router = nullptr;

// Tuesday, 8 December 2026 in Warsaw.
QDateTime at(int hour, int minute)
{
    return QDateTime(QDate(2026, 12, 8), QTime(hour, minute), Qt::LocalTime);
}

Programme programme(int id, const QDateTime& start, const QByteArray& title, bool hit = false)
{
    Programme p;
    p.id = id;
    p.line = id;
    p.start = start.toMSecsSinceEpoch();
    p.title = title;
    p.hit = hit;
    return p;
}

Listings fixedListings()
{
    Listings listings;
    listings.addChannel(QStringLiteral("tvp1.pl"), "TVP 1");
    listings.addProgramme(QStringLiteral("tvp1.pl"), programme(1, at(6, 0), "Kawa czy herbata?"));
    listings.addProgramme(QStringLiteral("tvp1.pl"), programme(2, at(19, 30), "Wiadomo\xB6\x63i"));
    listings.addProgramme(QStringLiteral("tvp1.pl"), programme(3, at(20, 5), "Pogoda: \xB6nieg"));
    listings.addProgramme(QStringLiteral("tvp1.pl"), programme(4, at(20, 20), "Sport"));
    listings.addProgramme(QStringLiteral("tvp1.pl"), programme(5, at(21, 0), "Teatr Telewizji"));
    listings.addChannel(QStringLiteral("polsat.pl"), "Polsat");
    listings.addProgramme(QStringLiteral("polsat.pl"), programme(6, at(18, 50), "Wydarzenia"));
    listings.addProgramme(QStringLiteral("polsat.pl"),
                          programme(7, at(20, 5), "Ogniem i mieczem", true));
    listings.addProgramme(QStringLiteral("polsat.pl"), programme(8, at(23, 0), "Kabaret"));
    listings.finish();
    return listings;
}

StationMap fixedStations()
{
    StationMap stations;
    stations.insert(0, QStringLiteral("tvp1.pl"), 1);
    stations.insert(1, QStringLiteral("tvp1.pl"), 2);
    stations.insert(5, QStringLiteral("polsat.pl"), 3);
    // A channel without listings: the page of an empty day.
    stations.insert(67, QStringLiteral("discovery.pl"), 4);
    stations.insert(999999999, QStringLiteral("polsat.pl"), 5);
    return stations;
}

// The line ekranik shows for a station's page at 20:10, before its charset is fixed and it is
// cut short; empty for a station without a programme on air.
QByteArray expectedLine(int station)
{
    switch (station) {
    case 0:
    case 1:
        return "TV : 20:05 - Pogoda: \xB6nieg";
    case 5:
    case 999999999:
        return "TV : [HIT] 20:05 - Ogniem i mieczem";
    default:
        return {};
    }
}

std::string plainTarget(const ListingRequest& request)
{
    if (!request.channel.isNull())
        return "/program.html?T%5Bchannel%5D=" + percentEncoded(request.channel).toStdString();
    return "/program.html?T%5Bstation%5D=" + std::to_string(request.station);
}

// The front page and the station list: the portal's address in every line is the Host header
// when that is a plain host and port, else the portal's own.
void checkLists(const ListingRequest& request, const PortalRouter::Reply& reply,
                std::string_view host)
{
    FUZZ_CHECK(reply.status == 200);
    static const QRegularExpression kPlainHost(QStringLiteral("^[A-Za-z0-9.:\\[\\]-]{1,255}$"));
    const QByteArray hostPort =
        kPlainHost.match(QString::fromLatin1(host.data(), qsizetype(host.size()))).hasMatch()
            ? QByteArray(host.data(), qsizetype(host.size()))
            : QByteArray("127.0.0.1");
    const QByteArray expectedList = stationsFile(*router->catalogue()).with(hostPort);
    if (request.kind == ListingRequest::Kind::StationsFile) {
        FUZZ_CHECK(reply.body == expectedList);
        FUZZ_CHECK(hasOnlyCrLfBreaks(reply.body));
        return;
    }
    if (request.kind == ListingRequest::Kind::ChannelsJson) {
        QJsonParseError error{};
        const QJsonObject json = QJsonDocument::fromJson(reply.body, &error).object();
        FUZZ_CHECK(error.error == QJsonParseError::NoError);
        FUZZ_CHECK(json["state"] == QLatin1String("ready"));
        QByteArray lines;
        for (const QJsonValue channel : json["channels"].toArray())
            lines += channel["station"].toString().toLatin1() + "\r\n";
        FUZZ_CHECK(lines == expectedList);
        return;
    }
    FUZZ_CHECK(reply.body.startsWith("<!DOCTYPE html>"));
    const QString page = QString::fromUtf8(reply.body);
    FUZZ_CHECK(page.toUtf8() == reply.body);
    for (const QByteArray& line : expectedList.split('\n')) {
        if (!line.trimmed().isEmpty())
            FUZZ_CHECK(page.contains(QString::fromLatin1(line.trimmed()).toHtmlEscaped()));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    useWarsawTime();
    router = new PortalRouter(fixedStations(), [] { return at(20, 10); });
    router->replaceListings(fixedListings());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view target(reinterpret_cast<const char*>(data), size);
    std::string_view host;
    if (const std::size_t lineBreak = target.find('\n'); lineBreak != std::string_view::npos) {
        host = target.substr(0, lineBreak);
        target.remove_prefix(lineBreak + 1);
    }
    const ListingRequest request = parseListingRequest(target);
    const PortalRouter::Reply reply = router->answer(target, host);
    // Whatever is asked: caches keep nothing of an error but a 404, and a kept answer is named
    // by its bytes.
    const Freshness& fresh = reply.freshness;
    FUZZ_CHECK(fresh.maxAge.has_value() == (reply.status == 200 || reply.status == 404));
    FUZZ_CHECK(!fresh.maxAge || (*fresh.maxAge >= 0 && *fresh.maxAge <= kMaxPageAge));
    FUZZ_CHECK(!fresh.maxAge || fresh.etag == entityTag(reply.body));
    if (request.status == ListingRequest::Status::Ok &&
        request.kind != ListingRequest::Kind::Page) {
        checkLists(request, reply, host);
        return 0;
    }

    FUZZ_CHECK(reply.body.startsWith("<html"));
    FUZZ_CHECK(hasOnlyCrLfBreaks(reply.body));
    FUZZ_CHECK(!reply.body.contains('\0'));
    QByteArray title;
    const QByteArray line = nowPlayingLine(reply.body, "TV", &title);

    if (request.status != ListingRequest::Status::Ok) {
        FUZZ_CHECK(!request.reason.isEmpty());
        const int status = request.status == ListingRequest::Status::NotFound ? 404 : 400;
        FUZZ_CHECK(reply.status == status);
        FUZZ_CHECK(reply.body.contains("<title>" + QByteArray::number(status) + ' '));
        FUZZ_CHECK(!reply.body.contains("trwa.gif"));
        FUZZ_CHECK(line.startsWith("TV : - brak informacji "));
        return 0;
    }

    // Only an address with a query can name a station or a channel.
    FUZZ_CHECK(target.find('?') != std::string_view::npos);
    FUZZ_CHECK(request.reason.isEmpty());
    FUZZ_CHECK(request.station >= 0 && request.station <= 999999999);
    const std::string plain = plainTarget(request);
    const ListingRequest plainRequest = parseListingRequest(plain);
    FUZZ_CHECK(plainRequest.station == request.station && plainRequest.channel == request.channel);
    const PortalRouter::Reply plainReply = router->answer(plain);
    FUZZ_CHECK(reply.status == plainReply.status && reply.body == plainReply.body);

    QByteArray expected = expectedLine(request.station);
    if (!request.channel.isNull()) {
        expected = request.channel == QLatin1String("tvp1.pl")     ? expectedLine(1)
                   : request.channel == QLatin1String("polsat.pl") ? expectedLine(5)
                                                                   : QByteArray();
        if (expected.isEmpty())
            FUZZ_CHECK(reply.status == 404);
    }
    if (reply.status == 404) {
        FUZZ_CHECK(expected.isEmpty());
        FUZZ_CHECK(reply.body.contains("<title>404 "));
        FUZZ_CHECK(!reply.body.contains("trwa.gif"));
        return 0;
    }
    FUZZ_CHECK(reply.status == 200);
    if (expected.isEmpty()) {
        // The empty day of a channel without listings.
        FUZZ_CHECK(!reply.body.contains("trwa.gif"));
        FUZZ_CHECK(line.startsWith("TV : - brak informacji "));
    } else {
        FUZZ_CHECK(reply.body.count("trwa.gif") == 1);
        FUZZ_CHECK(line == Shorten50(fixPageCharset(expected)));
    }
    return 0;
}
