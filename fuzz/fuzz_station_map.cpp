// Any bytes as the portal's station map. StationMap::read gives either a map or a message
// naming the file and a line of it, never both and never a crash. A map it gives has
// non-negative station numbers, each with a channel id and the line it came from; written
// back one "NUMBER ID" a line, it reads as the same map. Served without listings, each station
// gets the page of an empty day, which ekranik reads as no programme on air.

#include "fuzzsupport.h"
#include "portal/portalserver.h"
#include "portal/stationmap.h"
#include "support/linebreaks.h"
#include "update/pagetext.h"

#include <cstdint>
#include <string>

namespace {

ScratchFile& scratch()
{
    static ScratchFile file;
    return file;
}

ScratchFile& rewritten()
{
    static ScratchFile file;
    return file;
}

// Lines end at CR, LF or CR LF; what follows the last break is a line too, even when empty.
qsizetype lineCount(const QByteArray& bytes)
{
    return slowNormalizeLineBreaks(bytes).count("\r\n") + 1;
}

// The line number a message names: "Cannot read station map "PATH", line N: ...".
int messageLine(const QString& message, const QString& path)
{
    const QString start = QStringLiteral("Cannot read station map \"%1\", line ").arg(path);
    FUZZ_CHECK(message.startsWith(start));
    const qsizetype colon = message.indexOf(u':', start.size());
    FUZZ_CHECK(colon > start.size());
    bool ok = false;
    const int line = message.mid(start.size(), colon - start.size()).toInt(&ok);
    FUZZ_CHECK(ok);
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString& path = scratch().write(bytes);
    const qsizetype lines = lineCount(bytes);

    const QString untouched = QStringLiteral("untouched");
    QString error = untouched;
    const std::optional<StationMap> map = StationMap::read(path, &error);
    if (!map) {
        const int line = messageLine(error, path);
        FUZZ_CHECK(line >= 1 && line <= lines);
        return 0;
    }
    FUZZ_CHECK(error == untouched);

    const QList<int> stations = map->stations();
    FUZZ_CHECK(stations.size() <= lines);
    QByteArray text;
    for (qsizetype i = 0; i < stations.size(); ++i) {
        const int station = stations[i];
        FUZZ_CHECK(station >= 0);
        FUZZ_CHECK(i == 0 || stations[i - 1] < station);
        const QString* channel = map->channel(station);
        FUZZ_CHECK(channel != nullptr && !channel->isEmpty());
        FUZZ_CHECK(!channel->contains(u'#'));
        FUZZ_CHECK(map->line(station) >= 1 && map->line(station) <= lines);
        text += QByteArray::number(station) + ' ' + channel->toUtf8() + '\n';
    }

    const std::optional<StationMap> again = StationMap::read(rewritten().write(text), &error);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(again->stations() == stations);
    for (qsizetype i = 0; i < stations.size(); ++i) {
        FUZZ_CHECK(*again->channel(stations[i]) == *map->channel(stations[i]));
        FUZZ_CHECK(again->line(stations[i]) == i + 1);
    }

    // A few stations are enough: their pages differ only in the channel id. Numbers of more
    // than nine digits cannot be asked for.
    const PortalServer server(Listings(), *map,
                              [] { return QDateTime(QDate(2026, 12, 8), QTime(20, 10)); });
    for (qsizetype i = 0; i < qMin(stations.size(), qsizetype(8)); ++i) {
        if (stations[i] > 999999999)
            continue;
        const PortalServer::Reply reply =
            server.answer("/program.html?T%5Bstation%5D=" + std::to_string(stations[i]));
        FUZZ_CHECK(reply.status == 200);
        FUZZ_CHECK(!reply.body.contains("trwa.gif"));
        FUZZ_CHECK(nowPlayingLine(reply.body, "TV").startsWith("TV : - brak informacji "));
    }
    return 0;
}
