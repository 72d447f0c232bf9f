#include "app/portalchoice.h"

#include "stations/stationentry.h"

#include <QUrl>
#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

bool isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QByteArray bytes = host.toLatin1();
    in_addr v4{};
    if (::inet_pton(AF_INET, bytes.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    return ::inet_pton(AF_INET6, bytes.constData(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

} // namespace

QString PortalChoice::hostPort() const
{
    const QString shown = host.contains(QLatin1Char(':')) ? u'[' + host + u']' : host;
    return shown + u':' + QString::number(port);
}

std::optional<PortalChoice> portalOfUrl(const QByteArray& url)
{
    const QUrl parsed = QUrl::fromEncoded(url.trimmed(), QUrl::TolerantMode);
    // The portal speaks plain http only: an https address is some other server's.
    if (!parsed.isValid() || parsed.scheme() != QLatin1String("http") || parsed.host().isEmpty())
        return std::nullopt;
    const QString host = parsed.host();
    return PortalChoice{host, parsed.port(80), isLoopbackHost(host)};
}

PortalChoice choosePortal(const QList<QByteArray>& entries, const QList<bool>& checks,
                          const QByteArray& defaultHost)
{
    std::optional<PortalChoice> firstLoopback;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const std::optional<PortalChoice> portal = portalOfUrl(EntryURL(entries[i]));
        if (!portal || !portal->loopback)
            continue;
        if (i < checks.size() && checks[i])
            return *portal;
        if (!firstLoopback)
            firstLoopback = portal;
    }
    if (firstLoopback)
        return *firstLoopback;
    return portalOfUrl("http://" + defaultHost + '/').value_or(PortalChoice{});
}

bool startsOwnPortal(const PortalChoice& choice, bool haveSources, bool somethingAnswers)
{
    return choice.loopback && haveSources && !somethingAnswers;
}
