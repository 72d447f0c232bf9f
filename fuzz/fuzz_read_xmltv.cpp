// Any bytes as the portal's XMLTV listings file. readXmltv gives either listings or a message
// naming the file and a line, never both and never a crash. The listings it gives are what the
// pages are made of: each channel's programmes in order of start, every one but a channel's
// last with a stop no earlier than its start, titles and names that ekranik cannot misread,
// display names no longer than the scanner keeps of a text.
// The page made at a programme's start shows that programme on air, as ekranik's own page
// reader finds it, and moving the listings to another day keeps all that. The same bytes
// given a few at a time, as a pipe gives them, come out the same, error line and all.

#include "fuzzsupport.h"
#include "portal/listingpage.h"
#include "portal/xmllimits.h"
#include "portal/xmltvreader.h"
#include "support/piecedevice.h"
#include "update/pagetext.h"

#include <QDateTime>
#include <QIODevice>
#include <QSet>
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

ScratchFile& scratch()
{
    static ScratchFile file;
    return file;
}

void checkChannel(const Channel& channel, const QString& id, QSet<int>& programmeIds)
{
    FUZZ_CHECK(channel.id == id);
    FUZZ_CHECK(!id.isEmpty() && id == id.trimmed());
    FUZZ_CHECK(!breaksPageReading(channel.name));
    for (const QString& name : channel.displayNames) {
        FUZZ_CHECK(!name.isEmpty() && name == name.trimmed());
        FUZZ_CHECK(name.size() <= xmllimits::kMaxElementText);
    }
    const QList<Programme>& programmes = channel.programmes;
    for (qsizetype i = 0; i < programmes.size(); ++i) {
        const Programme& p = programmes[i];
        FUZZ_CHECK(!p.title.isEmpty());
        FUZZ_CHECK(!breaksPageReading(p.title));
        FUZZ_CHECK(p.line >= 1);
        FUZZ_CHECK(p.id >= 1 && !programmeIds.contains(p.id));
        programmeIds.insert(p.id);
        if (i > 0)
            FUZZ_CHECK(programmes[i - 1].start <= p.start);
        // finish() gives every programme but the last the start of the next as its stop.
        if (i + 1 < programmes.size())
            FUZZ_CHECK(p.stop.has_value());
        if (p.stop)
            FUZZ_CHECK(*p.stop >= p.start);
    }
}

// The page for the start of the channel's first programme that lasts has exactly one on-air
// row, and ekranik reads from it that programme's time and title (or those of another
// programme starting at the same time).
void checkOnAirPage(const Channel& channel)
{
    const Programme* shown = nullptr;
    for (const Programme& p : channel.programmes) {
        if (p.stop && *p.stop > p.start) {
            shown = &p;
            break;
        }
    }
    if (!shown)
        return;
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(shown->start);
    const QByteArray page = listingPage(channel, now);
    FUZZ_CHECK(page.startsWith("<html"));
    FUZZ_CHECK(hasOnlyCrLfBreaks(page));
    FUZZ_CHECK(page.count("trwa.gif") == 1);

    QByteArray title;
    const QByteArray line = nowPlayingLine(page, "TV", &title);
    const QByteArray time = now.toString(QStringLiteral("HH:mm")).toLatin1();
    bool found = false;
    for (const Programme& p : channel.programmes) {
        if (p.start != shown->start || !p.stop || *p.stop <= p.start || p.title != title)
            continue;
        const QByteArray lineStart = "TV : " + QByteArray(p.hit ? "[HIT] " : "") + time + " - ";
        found = found || line.startsWith(lineStart);
    }
    FUZZ_CHECK(found);
}

bool sameProgrammes(const QList<Programme>& a, const QList<Programme>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].start != b[i].start || a[i].stop != b[i].stop || a[i].title != b[i].title ||
            a[i].hit != b[i].hit || a[i].id != b[i].id || a[i].line != b[i].line)
            return false;
    }
    return true;
}

void checkTrickled(const QByteArray& bytes, const std::optional<Listings>& whole,
                   const QString& wholeError, const QString& path)
{
    PieceDevice device(bytes);
    QString error;
    const std::optional<Listings> trickled = readXmltv(&device, path, QStringLiteral("pl"), &error);
    FUZZ_CHECK(trickled.has_value() == whole.has_value());
    if (!whole) {
        FUZZ_CHECK(error == wholeError);
        return;
    }
    FUZZ_CHECK(trickled->channelIds() == whole->channelIds());
    for (const QString& id : whole->channelIds()) {
        const Channel* a = whole->channel(id);
        const Channel* b = trickled->channel(id);
        FUZZ_CHECK(a->name == b->name && a->displayNames == b->displayNames);
        FUZZ_CHECK(sameProgrammes(a->programmes, b->programmes));
    }
}

void checkMovedToDay(const Listings& listings)
{
    Listings moved = listings;
    moved.moveToDay(QDate(2026, 12, 8));
    // The day itself and a copy before and after it, less a programme that lies wholly in an
    // hour the clocks skip.
    FUZZ_CHECK(moved.programmeCount() <= 3 * listings.programmeCount());
    FUZZ_CHECK(moved.channelIds() == listings.channelIds());
    for (const QString& id : moved.channelIds()) {
        const Channel* channel = moved.channel(id);
        FUZZ_CHECK(channel != nullptr);
        // The last programme of each copy may lack a stop, so only order and length count.
        const QList<Programme>& programmes = channel->programmes;
        for (qsizetype i = 0; i < programmes.size(); ++i) {
            if (i > 0)
                FUZZ_CHECK(programmes[i - 1].start <= programmes[i].start);
            if (programmes[i].stop)
                FUZZ_CHECK(*programmes[i].stop >= programmes[i].start);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    useWarsawTime();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString& path = scratch().write(bytes);

    const QString untouched = QStringLiteral("untouched");
    QString error = untouched;
    const std::optional<Listings> listings = readXmltv(path, &error);
    checkTrickled(bytes, listings, error, path);
    if (!listings) {
        FUZZ_CHECK(
            error.startsWith(QStringLiteral("Cannot read listings file \"%1\", line ").arg(path)));
        return 0;
    }
    FUZZ_CHECK(error == untouched);

    QSet<int> programmeIds;
    qsizetype programmes = 0;
    const QStringList ids = listings->channelIds();
    for (const QString& id : ids) {
        const Channel* channel = listings->channel(id);
        FUZZ_CHECK(channel != nullptr);
        checkChannel(*channel, id, programmeIds);
        programmes += channel->programmes.size();
        checkOnAirPage(*channel);
    }
    FUZZ_CHECK(programmes == listings->programmeCount());
    checkMovedToDay(*listings);
    return 0;
}
