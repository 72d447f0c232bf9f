#pragma once

#include <QString>
#include <string_view>

// What a request target asks of the portal. The portal has two forms of the same page:
//   /.?&T%5Bstation%5D=N&T%5Bcategory%5D=ALL&T%5Btime%5D=0   (also "/" for clients that drop
//                                                               the dot)
//   /program.html?T%5Bstation%5D=N
// and a channel's page by its id in either form, T%5Bchannel%5D=ID instead of the station.
// The query is percent-decoded; one of T[station] (a decimal station number) and T[channel]
// (the id, UTF-8) must appear, once. Other keys are accepted and not used. "/" without a query
// is the front page, "/stations.txt" the station list, "/channels.json" the channels for
// ekranik's channel picker.
struct ListingRequest {
    // Station numbers have at most this many digits: a request with more is refused, and so is
    // a station map that maps one, since nobody could ever ask for it.
    static constexpr int kMaxStationDigits = 9;

    enum class Status { Ok, BadRequest, NotFound };
    enum class Kind { Page, FrontPage, StationsFile, ChannelsJson };

    Status status = Status::Ok;
    Kind kind = Kind::Page;
    int station = 0;
    // The channel id asked for by T[channel]; null when the station number is given.
    QString channel;
    // Why the request is refused, in Polish, for the error page.
    QString reason;
};

ListingRequest parseListingRequest(std::string_view target);
