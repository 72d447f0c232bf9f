#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>
#include <string>
#include <string_view>

// What caches between the portal and its clients (nginx, a CDN, the browser) may do with an
// answer, and whether a client's copy is still good. The portal's answers change only when a
// programme starts, at midnight, at a new minute (the front page) or with new listings: until
// then caches keep them, and ask again with the validators they were given.
struct Freshness {
    // How long a cache may keep the answer, in seconds; nothing: not at all ("no-store").
    std::optional<int> maxAge;
    // The entity tag of the body ("\"…\""), the same wherever the same bytes are served;
    // empty when the answer has none.
    QByteArray etag;
    // When the body became what it is, in seconds since the epoch; 0 when not known.
    qint64 lastModified = 0;
};

// The longest a station's page is kept before a cache asks again, in seconds.
inline constexpr int kMaxPageAge = 300;
// The longest the front page, the station list and the channel list are kept, and an unknown
// address's 404.
inline constexpr int kMaxListAge = 60;

// The entity tag of a body: a digest of its bytes, so that instances serving the same bytes
// give the same tag.
QByteArray entityTag(const QByteArray& body);

// The Cache-Control header of an answer that is this fresh.
std::string cacheControl(const Freshness& freshness);

// An HTTP date (IMF-fixdate, "Tue, 08 Dec 2026 19:30:00 GMT") of seconds since the epoch,
// and back; a date that is not one of the three forms HTTP knows gives nothing.
std::string httpDate(qint64 seconds);
std::optional<qint64> parseHttpDate(std::string_view text);

// Whether the client's copy, named by its If-None-Match and If-Modified-Since headers (empty
// when not sent), is the answer's body still: If-None-Match, when sent, decides alone; an
// If-Modified-Since is honoured only when the answer has a date of its own.
bool stillValid(const Freshness& freshness, std::string_view ifNoneMatch,
                std::string_view ifModifiedSince);
