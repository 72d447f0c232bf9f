#pragma once

#include "portal/catalogue.h"
#include "portal/hostedtext.h"

#include <QDateTime>
#include <string_view>

// The pages below name the portal by the address a request gives ("HOST:PORT"), which goes in
// when it is answered (HostedText::with).

// The languages of the front page: Polish, the portal's own, and English.
enum class FrontLanguage { Polish, English };
inline constexpr int kFrontLanguages = 2;

// The language of the front page for a request's Accept-Language header ("en-GB,en;q=0.8"):
// the one of the two the client wants most, Polish when it wants both as much, names neither or
// sends no header.
FrontLanguage frontLanguage(std::string_view acceptLanguage);

// The portal's front page for a browser (UTF-8 HTML): every channel of the listings with its
// display name, its id, the programme on air at `now` and its station line as ekranik's
// "Dodaj stację" takes it ("name.tv|http://HOST:PORT/program.html?..."), ready to copy. Its
// words are in `language`; the listings' are as the listings have them.
HostedText frontPage(const Catalogue& catalogue, const QDateTime& now,
                     FrontLanguage language = FrontLanguage::Polish);

// Every station line as a ready "programy.tv" for ekranik: Windows-1250, each line ending in
// CR LF, in the order of the listings.
HostedText stationsFile(const Catalogue& catalogue);

// The programme of a channel on air at an instant (the latest started of those running), or
// null.
const Programme* onAirAt(const Channel& channel, qint64 instant);
