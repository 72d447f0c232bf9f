#pragma once

#include <QByteArray>

// Where a listings address points: the scheme, host and port to connect to, and the object
// (path and query) to ask for.
struct ParsedURL {
    QByteArray scheme; // "http" or "https"
    QByteArray host;   // empty when the address has no "/" after the host
    int port = 80;
    QByteArray object; // from the first "/" on, query included
};

// Splits an address the way the program always has: a leading "http://" (any letter case) is
// dropped, the host runs up to the first "/", and the object is the rest. Without a "/" the
// host is empty and the object is everything. Unlike before, "https://" is understood too
// (port 443), and a port written after the host ("host:8080") is honoured instead of being
// taken as part of the host's name.
ParsedURL ParseURL(const QByteArray& url);
