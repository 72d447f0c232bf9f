#include "net/parseurl.h"

namespace {

bool startsWithNoCase(const QByteArray& text, const char* prefix)
{
    return text.left(qstrlen(prefix)).compare(prefix, Qt::CaseInsensitive) == 0;
}

// "host:8080" -> port 8080 and host "host"; "[::1]:8080" keeps the brackets. A colon not
// followed by a valid port number stays in the host (which then fails to resolve).
void splitPort(ParsedURL& parsed)
{
    const qsizetype colon = parsed.host.lastIndexOf(':');
    if (colon < 0 || parsed.host.indexOf(']', colon) >= 0)
        return;
    if (parsed.host.startsWith('[') && !parsed.host.left(colon).endsWith(']'))
        return;
    const QByteArray digits = parsed.host.mid(colon + 1);
    if (digits.isEmpty() || digits.size() > 5)
        return;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return;
    }
    const int port = digits.toInt();
    if (port < 1 || port > 65535)
        return;
    parsed.port = port;
    parsed.host.truncate(colon);
}

} // namespace

ParsedURL ParseURL(const QByteArray& url)
{
    ParsedURL parsed;
    QByteArray rest = url;
    if (startsWithNoCase(rest, "http://")) {
        rest.remove(0, 7);
        parsed.scheme = "http";
    } else if (startsWithNoCase(rest, "https://")) {
        rest.remove(0, 8);
        parsed.scheme = "https";
        parsed.port = 443;
    } else {
        parsed.scheme = "http";
    }

    const qsizetype slash = rest.indexOf('/');
    if (slash < 0) {
        parsed.object = rest;
        return parsed;
    }
    parsed.host = rest.left(slash);
    parsed.object = rest.mid(slash);
    splitPort(parsed);
    return parsed;
}
