#pragma once

#include <QString>
#include <string_view>

// What a request target asks of the portal. The portal has two forms of the same page:
//   /.?&T%5Bstation%5D=N&T%5Bcategory%5D=ALL&T%5Btime%5D=0   (also "/" for clients that drop
//                                                               the dot)
//   /program.html?T%5Bstation%5D=N
// The query is percent-decoded; its key T[station] must appear once with a decimal station
// number. Other keys are accepted and not used.
struct ListingRequest {
    // Station numbers have at most this many digits: a request with more is refused, and so is
    // a station map that maps one, since nobody could ever ask for it.
    static constexpr int kMaxStationDigits = 9;

    enum class Status { Ok, BadRequest, NotFound };

    Status status = Status::Ok;
    int station = 0;
    // Why the request is refused, in Polish, for the error page.
    QString reason;
};

ListingRequest parseListingRequest(std::string_view target);
