#include "portal/frontpage.h"

#include "portal/programtext.h"

#include <algorithm>

namespace {

// How far back from the latest start the search for a running programme goes: listings
// overlap a little at most.
constexpr int kOverlapsLookedAt = 8;

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

// The station line of a channel; each part escaped for HTML when escape is set.
void appendStationLine(HostedText& text, const Catalogue::Station& station, bool escape)
{
    const QByteArray start = station.name + "|http://";
    text += escape ? escaped(QString::fromLatin1(start)) : start;
    text.addHost();
    text += escape ? escaped(QString::fromLatin1(station.path)) : station.path;
}

} // namespace

const Programme* onAirAt(const Channel& channel, qint64 instant)
{
    const QList<Programme>& programmes = channel.programmes;
    auto it = std::upper_bound(programmes.cbegin(), programmes.cend(), instant,
                               [](qint64 at, const Programme& p) { return at < p.start; });
    for (int looked = 0; it != programmes.cbegin() && looked < kOverlapsLookedAt; ++looked) {
        --it;
        if (it->stop && instant < *it->stop)
            return &*it;
    }
    return nullptr;
}

HostedText frontPage(const Catalogue& catalogue, const QDateTime& now)
{
    const QList<Catalogue::Station>& stations = catalogue.stations();
    // The address a request names has only letters, digits and ".:-[]", nothing HTML escapes.
    HostedText page;
    page += "<!DOCTYPE html>\r\n<html lang=\"pl\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
            "<title>ekranik-portal</title>\r\n<style>\r\n"
            "body { font-family: sans-serif; margin: 1em 2em; }\r\n"
            "table { border-collapse: collapse; }\r\n"
            "th, td { text-align: left; padding: 0.2em 0.8em; border-bottom: 1px solid #ddd; }\r\n"
            "code { user-select: all; }\r\n"
            "</style>\r\n</head>\r\n<body>\r\n<h1>";
    page += escaped(QStringLiteral("Programy telewizyjne dla ekranika"));
    page += "</h1>\r\n<p>";
    page += escaped(QStringLiteral("Kanałów: %1. Wiersz kanału wklej w okno „Dodaj stację” "
                                   "ekranika albo pobierz wszystkie naraz jako plik "
                                   "programy.tv:")
                        .arg(stations.size()));
    page += " <a href=\"/stations.txt\">stations.txt</a> (<code>curl -o programy.tv http://";
    page.addHost();
    page += "/stations.txt</code>).</p>\r\n";
    if (stations.isEmpty()) {
        page += "<p>" +
                escaped(QStringLiteral("Brak programów: źródło jeszcze się nie wczytało "
                                       "albo nie ma w nim kanałów.")) +
                "</p>\r\n";
    } else {
        page += "<table>\r\n<tr><th>" + escaped(QStringLiteral("Kanał")) + "</th><th>" +
                escaped(QStringLiteral("Identyfikator")) + "</th><th>" +
                escaped(QStringLiteral("Teraz")) + "</th><th>" +
                escaped(QStringLiteral("Wiersz do „Dodaj stację”")) + "</th></tr>\r\n";
        const qint64 instant = now.toMSecsSinceEpoch();
        for (const Catalogue::Station& station : stations) {
            const Channel& channel = *catalogue.listings().channel(station.channelId);
            page += "<tr><td>" + escaped(shownText(channel.name)) + "</td><td><code>" +
                    escaped(channel.id) + "</code></td><td>";
            if (const Programme* onAir = onAirAt(channel, instant)) {
                page += QDateTime::fromMSecsSinceEpoch(onAir->start)
                            .toLocalTime()
                            .toString(QStringLiteral("HH:mm"))
                            .toLatin1();
                page += ' ' + escaped(shownText(onAir->title));
            }
            page += "</td><td><code>";
            appendStationLine(page, station, true);
            page += "</code></td></tr>\r\n";
        }
        page += "</table>\r\n";
    }
    page += "</body>\r\n</html>\r\n";
    return page;
}

HostedText stationsFile(const Catalogue& catalogue)
{
    HostedText file;
    for (const Catalogue::Station& station : catalogue.stations()) {
        appendStationLine(file, station, false);
        file += "\r\n";
    }
    return file;
}
