#include "portal/listingrequest.h"

#include <optional>
#include <string>

namespace {

constexpr std::string_view kStationKey = "T[station]";
constexpr std::string_view kChannelKey = "T[channel]";
constexpr int kMaxStationDigits = ListingRequest::kMaxStationDigits;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Percent-decoding, "+" as a space; nullopt for a "%" without two hex digits.
std::optional<std::string> percentDecode(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            result += ' ';
        } else if (text[i] == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            result += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

ListingRequest refuse(ListingRequest::Status status, const QString& reason)
{
    ListingRequest request;
    request.status = status;
    request.reason = reason;
    return request;
}

} // namespace

ListingRequest parseListingRequest(std::string_view target)
{
    const std::size_t question = target.find('?');
    const std::string_view rawPath = target.substr(0, question);
    const std::string_view query =
        question == std::string_view::npos ? std::string_view() : target.substr(question + 1);

    const std::optional<std::string> path = percentDecode(rawPath);
    if (!path)
        return refuse(ListingRequest::Status::BadRequest,
                      QStringLiteral("Błędny adres: niepoprawne kodowanie znaków."));
    if (*path == "/stations.txt") {
        ListingRequest request;
        request.kind = ListingRequest::Kind::StationsFile;
        return request;
    }
    if (*path == "/channels.json") {
        ListingRequest request;
        request.kind = ListingRequest::Kind::ChannelsJson;
        return request;
    }
    if (*path == "/" && query.empty()) {
        ListingRequest request;
        request.kind = ListingRequest::Kind::FrontPage;
        return request;
    }
    if (*path != "/." && *path != "/" && *path != "/program.html")
        return refuse(ListingRequest::Status::NotFound, QStringLiteral("Nie ma takiej strony."));

    std::optional<std::string> station;
    std::optional<std::string> channel;
    std::size_t from = 0;
    while (from <= query.size()) {
        std::size_t end = query.find('&', from);
        if (end == std::string_view::npos)
            end = query.size();
        const std::string_view pair = query.substr(from, end - from);
        from = end + 1;
        if (pair.empty())
            continue;
        const std::size_t equals = pair.find('=');
        const std::optional<std::string> key = percentDecode(pair.substr(0, equals));
        const std::optional<std::string> value = percentDecode(
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1));
        if (!key || !value)
            return refuse(ListingRequest::Status::BadRequest,
                          QStringLiteral("Błędny adres: niepoprawne kodowanie znaków."));
        if (*key == kChannelKey) {
            if (channel)
                return refuse(ListingRequest::Status::BadRequest,
                              QStringLiteral("Kanał (T[channel]) podano więcej niż raz."));
            channel = *value;
            continue;
        }
        if (*key != kStationKey)
            continue;
        if (station)
            return refuse(ListingRequest::Status::BadRequest,
                          QStringLiteral("Numer stacji (T[station]) podano więcej niż raz."));
        station = *value;
    }

    if (station && channel)
        return refuse(ListingRequest::Status::BadRequest,
                      QStringLiteral("Podano i numer stacji (T[station]), i kanał (T[channel])."));
    if (channel) {
        const QString id = QString::fromUtf8(*channel);
        if (id.isEmpty() || id.toUtf8() != QByteArray::fromStdString(*channel))
            return refuse(ListingRequest::Status::BadRequest,
                          QStringLiteral("Kanał (T[channel]) musi być tekstem UTF-8."));
        ListingRequest request;
        request.channel = id;
        return request;
    }
    if (!station)
        return refuse(ListingRequest::Status::BadRequest,
                      QStringLiteral("Brak numeru stacji (T[station])."));
    const bool digitsOnly = !station->empty() && station->size() <= kMaxStationDigits &&
                            station->find_first_not_of("0123456789") == std::string::npos;
    if (!digitsOnly)
        return refuse(ListingRequest::Status::BadRequest,
                      QStringLiteral("Numer stacji (T[station]) musi być liczbą."));
    ListingRequest request;
    request.station = std::stoi(*station);
    return request;
}
