#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// Where a station list expects its listings portal, and whether the program runs one there
// itself.
struct PortalChoice {
    QString host; // as the address names it: "127.0.0.1", "::1", "localhost", "tv.example"
    int port = 80;
    // The host is this machine: 127.0.0.0/8, ::1 or localhost.
    bool loopback = false;

    // "HOST:PORT", an IPv6 host in brackets: what a request's Host says, and --listen takes.
    QString hostPort() const;
    bool operator==(const PortalChoice&) const = default;
};

// The portal an http address asks; nothing for any other address, or one without a host.
std::optional<PortalChoice> portalOfUrl(const QByteArray& url);

// The portal of the first checked station whose address names this machine, else of the first
// station that names it, else the portal `defaultHost` ("HOST[:PORT]", the build's default
// station host) names. `checks` runs beside `entries`; a missing mark is no mark.
PortalChoice choosePortal(const QList<QByteArray>& entries, const QList<bool>& checks,
                          const QByteArray& defaultHost);

// The program starts a portal of its own only on this machine, with listings to serve, and
// where nothing answers yet: a portal someone else runs is theirs.
bool startsOwnPortal(const PortalChoice& choice, bool haveSources, bool somethingAnswers);
