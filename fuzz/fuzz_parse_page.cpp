// Any bytes as a listings page: the line must come out without a crash or undefined behaviour,
// in its fixed shape, and the line break normalisation must agree with a plain one.

#include "support/linebreaks.h"
#include "update/pagetext.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckLine(const QByteArray& page)
{
    static const QByteArray station = "stacja.tv";
    QByteArray title;
    const QByteArray line = NowPlayingLine(page, station, &title);
    Check(line.startsWith("stacja.tv : "));
    Check(line.size() <= 54);
    Check(line.size() < 50 || line.endsWith("..."));
    // The title is text taken from the page with tags removed, never longer than the page.
    Check(title.size() <= page.size());
    Check(NowPlayingLine(page, station) == line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CheckLine(page);

    const QByteArray normal = NormalizeLineBreaks(page);
    Check(normal == SlowNormalizeLineBreaks(page));
    Check(NormalizeLineBreaks(normal) == normal);
    CheckLine(normal);
    return 0;
}
