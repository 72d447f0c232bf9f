// Any bytes through the text helpers: no crash or undefined behaviour at any length or tag
// depth, and each result keeps its promised shape.

#include "text/shorten.h"
#include "update/pagetext.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

namespace {

void checkInvariants(bool condition)
{
    if (!condition)
        std::abort();
}

void checkShortened(const QByteArray& text, const QByteArray& shortened, qsizetype limit)
{
    if (text.size() < limit) {
        checkInvariants(shortened == text);
    } else {
        checkInvariants(shortened.size() == qMin(text.size(), limit + 1) + 3);
        checkInvariants(shortened.startsWith(text.left(limit + 1)) && shortened.endsWith("..."));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const QByteArray stripped = StripTags(text);
    checkInvariants(stripped.size() <= text.size());
    if (!text.contains('<') && !text.contains('>'))
        checkInvariants(stripped == text);

    const QByteArray fixed = fixPageCharset(stripped);
    checkInvariants(fixed.size() == stripped.size());
    for (const char c : {'\xA6', '|', '\xB6', '\xB1', '\xBC', '\xA1', '\xAC'})
        checkInvariants(!fixed.contains(c));

    checkShortened(fixed, Shorten25(fixed), 25);
    checkShortened(fixed, Shorten50(fixed), 50);
    return 0;
}
