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

// The front page's own words in one language.
struct FrontWords {
    const char* lang;
    QString heading;
    QString intro; // %1: the number of channels
    QString empty;
    QString channel;
    QString id;
    QString now;
    QString line;
};

const FrontWords& wordsOf(FrontLanguage language)
{
    static const FrontWords polish{
        "pl",
        QStringLiteral("Programy telewizyjne dla ekranika"),
        QStringLiteral("Kanałów: %1. Wiersz kanału wklej w okno „Dodaj stację” ekranika albo "
                       "pobierz wszystkie naraz jako plik programy.tv:"),
        QStringLiteral("Brak programów: źródło jeszcze się nie wczytało albo nie ma w nim "
                       "kanałów."),
        QStringLiteral("Kanał"),
        QStringLiteral("Identyfikator"),
        QStringLiteral("Teraz"),
        QStringLiteral("Wiersz do „Dodaj stację”")};
    // The window is "Add station" in the English ekranik.
    static const FrontWords english{
        "en",
        QStringLiteral("TV listings for ekranik"),
        QStringLiteral("Channels: %1. Paste a channel's line into ekranik's “Add station” window, "
                       "or download them all at once as the file programy.tv:"),
        QStringLiteral("No listings: the source has not been read yet, or it has no channels."),
        QStringLiteral("Channel"),
        QStringLiteral("Id"),
        QStringLiteral("Now"),
        QStringLiteral("Line for “Add station”")};
    return language == FrontLanguage::English ? english : polish;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The weight of a language range's parameters ("q=0.5"): 1 without one, 0 for one that is no
// number from 0 to 1.
double weightOf(std::string_view parameters)
{
    while (!parameters.empty()) {
        const std::size_t end = parameters.find(';');
        const std::string_view parameter = trimmed(parameters.substr(0, end));
        if (parameter.size() > 2 && (parameter[0] == 'q' || parameter[0] == 'Q') &&
            parameter[1] == '=') {
            bool ok = false;
            const double q =
                QByteArray(parameter.data() + 2, qsizetype(parameter.size() - 2)).toDouble(&ok);
            return ok && q >= 0 && q <= 1 ? q : 0;
        }
        parameters =
            end == std::string_view::npos ? std::string_view() : parameters.substr(end + 1);
    }
    return 1;
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

FrontLanguage frontLanguage(std::string_view acceptLanguage)
{
    double polish = 0;
    double english = 0;
    while (!acceptLanguage.empty()) {
        const std::size_t end = acceptLanguage.find(',');
        const std::string_view range = trimmed(acceptLanguage.substr(0, end));
        acceptLanguage =
            end == std::string_view::npos ? std::string_view() : acceptLanguage.substr(end + 1);
        const std::size_t parameters = range.find(';');
        const QByteArray language = QByteArray(range.data(), qsizetype(range.size()))
                                        .left(qsizetype(std::min(parameters, range.size())))
                                        .trimmed()
                                        .toLower()
                                        .split('-')
                                        .first();
        const double weight =
            parameters == std::string_view::npos ? 1 : weightOf(range.substr(parameters + 1));
        if (language == "pl")
            polish = std::max(polish, weight);
        else if (language == "en")
            english = std::max(english, weight);
    }
    return english > polish ? FrontLanguage::English : FrontLanguage::Polish;
}

HostedText frontPage(const Catalogue& catalogue, const QDateTime& now, FrontLanguage language)
{
    const QList<Catalogue::Station>& stations = catalogue.stations();
    const FrontWords& words = wordsOf(language);
    // The address a request names has only letters, digits and ".:-[]", nothing HTML escapes.
    HostedText page;
    page += "<!DOCTYPE html>\r\n<html lang=\"";
    page += words.lang;
    page += "\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
            "<title>ekranik-portal</title>\r\n<style>\r\n"
            "body { font-family: sans-serif; margin: 1em 2em; }\r\n"
            "table { border-collapse: collapse; }\r\n"
            "th, td { text-align: left; padding: 0.2em 0.8em; border-bottom: 1px solid #ddd; }\r\n"
            "code { user-select: all; }\r\n"
            "</style>\r\n</head>\r\n<body>\r\n<h1>";
    page += escaped(words.heading);
    page += "</h1>\r\n<p>";
    page += escaped(words.intro.arg(stations.size()));
    page += " <a href=\"/stations.txt\">stations.txt</a> (<code>curl -o programy.tv http://";
    page.addHost();
    page += "/stations.txt</code>).</p>\r\n";
    if (stations.isEmpty()) {
        page += "<p>" + escaped(words.empty) + "</p>\r\n";
    } else {
        page += "<table>\r\n<tr><th>" + escaped(words.channel) + "</th><th>" + escaped(words.id) +
                "</th><th>" + escaped(words.now) + "</th><th>" + escaped(words.line) +
                "</th></tr>\r\n";
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
