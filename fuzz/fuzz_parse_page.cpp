// Any bytes as a listings page: the line must come out without a crash or undefined behaviour,
// in its fixed shape, and the line break normalisation must agree with a plain one. The page's
// programme rows agree with the line: at most one is on air, it has the line's title, and the
// next programme is the row after it.

#include "support/linebreaks.h"
#include "update/pagetext.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

void checkInvariants(bool condition)
{
    if (!condition)
        std::abort();
}

void checkLine(const QByteArray& page)
{
    static const QByteArray station = "stacja.tv";
    QByteArray title;
    const QByteArray line = nowPlayingLine(page, station, &title);
    checkInvariants(line.startsWith("stacja.tv : "));
    checkInvariants(line.size() <= 54);
    checkInvariants(line.size() < 50 || line.endsWith("..."));
    // The title is text taken from the page with tags removed, never longer than the page.
    checkInvariants(title.size() <= page.size());
    checkInvariants(nowPlayingLine(page, station) == line);

    const QList<PageProgramme> rows = pageProgrammes(page);
    const PageProgramme* onAir = nullptr;
    const PageProgramme* next = nullptr;
    qsizetype titles = 0;
    for (const PageProgramme& row : rows) {
        checkInvariants(row.time.isEmpty() || row.time.size() == 5);
        if (onAir && !next)
            next = &row;
        if (row.onAir) {
            checkInvariants(!onAir);
            checkInvariants(row.title == fixPageCharset(title));
            onAir = &row;
        } else {
            titles += row.title.size();
        }
    }
    // Rows do not overlap: their titles together are no longer than the page.
    checkInvariants(titles <= page.size());
    const std::optional<PageProgramme> nextOnly = nextProgramme(page);
    checkInvariants(next ? nextOnly == *next : !nextOnly);
    std::optional<PageProgramme> lineNext;
    checkInvariants(nowPlayingLine(page, station, nullptr, &lineNext) == line);
    checkInvariants(lineNext == nextOnly);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkLine(page);

    const QByteArray normal = normalizeLineBreaks(page);
    checkInvariants(normal == slowNormalizeLineBreaks(page));
    checkInvariants(normalizeLineBreaks(normal) == normal);
    checkLine(normal);
    return 0;
}
