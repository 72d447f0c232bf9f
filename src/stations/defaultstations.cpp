#include "stations/defaultstations.h"

#include <iterator>

#ifndef EKRANIK_PORTAL_HOST
#error "EKRANIK_PORTAL_HOST must be defined by the build"
#endif

namespace {

struct DefaultStation {
    const char* name;
    const char* path;
};

// The portal has two kinds of listing pages: the older query page ("/.?&T[...]") for the
// first six stations and "program.html" for the rest.
constexpr DefaultStation kDefaults[] = {
    {"discovery.tv", "/.?&T%5Bstation%5D=67&T%5Bcategory%5D=ALL&T%5Btime%5D=0"},
    {"polsat.tv", "/.?&T%5Bstation%5D=5&T%5Bcategory%5D=ALL&T%5Btime%5D=0"},
    {"tv4.tv", "/.?&T%5Bstation%5D=18&T%5Bcategory%5D=ALL&T%5Btime%5D=0"},
    {"tvn.tv", "/.?&T%5Bstation%5D=17&T%5Bcategory%5D=ALL&T%5Btime%5D=0"},
    {"tvp1.tv", "/.?&T%5Bstation%5D=1&T%5Bcategory%5D=ALL&T%5Btime%5D=0"},
    {"tvp2.tv", "/.?&T%5Bstation%5D=2&T%5Bcategory%5D=ALL&T%5Btime%5D=0"},
    {"mtv.deutsch.tv", "/program.html?T%5Bstation%5D=219"},
    {"cartoon.network.tv", "/program.html?T%5Bstation%5D=361"},
    {"tvn24.tv", "/program.html?T%5Bstation%5D=151"},
    {"hbo.tv", "/program.html?T%5Bstation%5D=14"},
    {"hyper.tv", "/program.html?T%5Bstation%5D=200"},
    {"animal.planet.tv", "/program.html?T%5Bstation%5D=355"},
    {"canalplus.tv", "/program.html?T%5Bstation%5D=13"},
};

} // namespace

QList<QByteArray> defaultStations()
{
    const QByteArray base = QByteArrayLiteral("http://" EKRANIK_PORTAL_HOST);
    QList<QByteArray> entries;
    entries.reserve(std::size(kDefaults));
    for (const DefaultStation& station : kDefaults)
        entries.append(QByteArray(station.name) + '|' + base + station.path);
    return entries;
}
