// Any bytes as a station's address. ParseURL loses nothing: the address is its scheme prefix
// (if written), the host, the port (if written) and the object, in that order. The scheme is
// http unless "https://" is written, the port one a connection can use, the scheme's default
// unless written after the host; a port after a plain host name or a bracketed IPv6 address
// is the one used.

#include "fuzzsupport.h"
#include "net/parseurl.h"

#include <cstdint>
#include <optional>

namespace {

// One to five digits giving a port a connection can use.
std::optional<int> portNumber(const QByteArray& digits)
{
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    const int port = digits.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

bool isPlainHostName(const QByteArray& name)
{
    if (name.isEmpty())
        return false;
    for (const char c : name) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '.' && c != '-')
            return false;
    }
    return true;
}

// "[2001:db8::1]": an IPv6 address in brackets.
bool isBracketedAddress(const QByteArray& host)
{
    if (host.size() < 3 || !host.startsWith('[') || !host.endsWith(']'))
        return false;
    for (const char c : host.mid(1, host.size() - 2)) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex && c != ':' && c != '.')
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray url(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ParsedURL parsed = ParseURL(url);

    // The scheme as written, in any letter case, else http.
    const QByteArray start = url.left(8).toLower();
    const QByteArray written = start.startsWith("http://")    ? "http"
                               : start.startsWith("https://") ? "https"
                                                              : "";
    FUZZ_CHECK(parsed.scheme == (written.isEmpty() ? QByteArray("http") : written));
    const QByteArray rest = written.isEmpty() ? url : url.mid(written.size() + 3);
    const int defaultPort = parsed.scheme == "https" ? 443 : 80;
    FUZZ_CHECK(parsed.port >= 1 && parsed.port <= 65535);

    // The rest is the host, the port if written, and the object from the first "/" on; or,
    // without a "/", the object alone.
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0) {
        FUZZ_CHECK(parsed.host.isEmpty() && parsed.object == rest && parsed.port == defaultPort);
        return 0;
    }
    FUZZ_CHECK(parsed.object == rest.mid(slash));
    const QByteArray hostPart = rest.left(slash);
    FUZZ_CHECK(hostPart.startsWith(parsed.host));
    const QByteArray portText = hostPart.mid(parsed.host.size());
    if (portText.isEmpty())
        FUZZ_CHECK(parsed.port == defaultPort);
    else
        FUZZ_CHECK(portText.startsWith(':') && portNumber(portText.mid(1)) == parsed.port);

    // The forms a port is certainly honoured in: "name:8080" and "[::1]:8080".
    const qsizetype colon = hostPart.lastIndexOf(':');
    if (colon > 0) {
        const QByteArray name = hostPart.left(colon);
        const std::optional<int> port = portNumber(hostPart.mid(colon + 1));
        if (port && (isPlainHostName(name) || isBracketedAddress(name)))
            FUZZ_CHECK(parsed.host == name && parsed.port == *port);
    }
    if (isPlainHostName(hostPart) || isBracketedAddress(hostPart))
        FUZZ_CHECK(parsed.host == hostPart && parsed.port == defaultPort);
    return 0;
}
