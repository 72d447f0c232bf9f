#include "update/pagetext.h"

#include "text/shorten.h"

#include <QByteArrayView>
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string.h> // memmem

namespace {

// The img file the portal puts in front of the programme on air now.
constexpr QByteArrayView kOnNowMarker("trwa.gif");
// The programme title is the text of a link that opens the programme's details window.
constexpr QByteArrayView kTitleAnchor("<a href=\"javascript:okno(");
constexpr QByteArrayView kAnchorEnd("</a>");
// The end of the tag that stands where the time would be when the programme is a hit; the
// time is then found further back.
constexpr QByteArrayView kHitMark("f\"></");
// A page without a programme table starts with its own header where the time is looked for.
constexpr QByteArrayView kPageStart("<html");

constexpr qsizetype kTimeLength = 5;
constexpr qsizetype kTimeBeforeMarker = 73;
constexpr qsizetype kHitTimeBeforeMarker = 148;

constexpr char kHitPrefix[] = "[HIT] ";
constexpr char kNoInformation[] = "- brak informacji ";

// The count characters of text from 1-based position start. A start below 1 counts as 1 without
// reducing the count; a start past the end or a negative count gives the empty text; a count
// past the end stops at the end.
QByteArray substring(const QByteArray& text, qsizetype start, qsizetype count)
{
    if (start < 1)
        start = 1;
    if (start > text.size() || count <= 0)
        return QByteArray();
    return text.mid(start - 1, qMin(count, text.size() - start + 1));
}

// The 1-based position of the first occurrence of needle at or after 1-based position start;
// 0 when there is none or when start is below 1.
// glibc's memmem is several times faster here than QByteArray::indexOf on a long page; other
// C libraries (Windows) get the standard library's Boyer-Moore-Horspool search.
qsizetype findFrom(QByteArrayView needle, const QByteArray& text, qsizetype start)
{
    if (start < 1 || start > text.size())
        return 0;
    const char* const from = text.constData() + (start - 1);
    const char* const end = text.constData() + text.size();
#ifdef __GLIBC__
    const void* const hit = memmem(from, static_cast<size_t>(end - from), needle.data(),
                                   static_cast<size_t>(needle.size()));
    return hit ? static_cast<const char*>(hit) - text.constData() + 1 : 0;
#else
    const char* const hit =
        std::search(from, end, std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    return hit != end ? hit - text.constData() + 1 : 0;
#endif
}

// What each byte becomes in fixPageCharset().
constexpr std::array<unsigned char, 256> makeCharsetTable()
{
    std::array<unsigned char, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<unsigned char>(i);
    table[0xA6] = 0x8C;
    table['|'] = 0x8C;
    table[0xB6] = 0x9C;
    table[0xB1] = 0xB9;
    table[0xBC] = 0x9F;
    table[0xA1] = 0xA5;
    table[0xAC] = 0x8F;
    return table;
}

constexpr std::array<unsigned char, 256> kCharsetTable = makeCharsetTable();

// memchr over [from, end) that gives end instead of null.
const char* findByte(const char* from, const char* end, char c)
{
    const void* hit = std::memchr(from, c, static_cast<size_t>(end - from));
    return hit ? static_cast<const char*>(hit) : end;
}

// True when every CR is followed by LF and every LF follows a CR, i.e. when each character
// is LF exactly when the one before it is CR. Blocks of fixed length without an early exit
// let the compiler test many characters at once; most pages pass this.
bool hasOnlyCrLf(const char* text, qsizetype size)
{
    if (size == 0)
        return true;
    if (text[0] == '\n' || text[size - 1] == '\r')
        return false;
    constexpr int kBlock = 64;
    qsizetype i = 1;
    for (; i + kBlock <= size; i += kBlock) {
        const char* const block = text + i;
        unsigned mismatch = 0;
        for (int j = 0; j < kBlock; ++j)
            mismatch |= unsigned(block[j - 1] == '\r') ^ unsigned(block[j] == '\n');
        if (mismatch != 0)
            return false;
    }
    for (; i < size; ++i) {
        if ((text[i - 1] == '\r') != (text[i] == '\n'))
            return false;
    }
    return true;
}

} // namespace

QByteArray StripTags(const QByteArray& s)
{
    QByteArray result(s.size(), Qt::Uninitialized);
    char* out = result.data();
    // Never more than s.size() away from 0, so it cannot overflow.
    qsizetype depth = 0;
    for (const char c : s) {
        if (c == '<')
            ++depth;
        if (depth == 0)
            *out++ = c;
        if (c == '>')
            --depth;
    }
    result.truncate(out - result.constData());
    return result;
}

QByteArray fixPageCharset(const QByteArray& s)
{
    const auto needsFix = [](char c) {
        return kCharsetTable[static_cast<unsigned char>(c)] != static_cast<unsigned char>(c);
    };
    const qsizetype first = std::find_if(s.cbegin(), s.cend(), needsFix) - s.cbegin();
    if (first == s.size())
        return s;
    QByteArray result = s;
    char* const data = result.data();
    for (qsizetype i = first; i < result.size(); ++i)
        data[i] = static_cast<char>(kCharsetTable[static_cast<unsigned char>(data[i])]);
    return result;
}

QByteArray normalizeLineBreaks(const QByteArray& text)
{
    if (hasOnlyCrLf(text.constData(), text.size()))
        return text;
    const char* const begin = text.constData();
    const char* const end = begin + text.size();

    // At most every character is a lone break that doubles.
    QByteArray result(text.size() * 2, Qt::Uninitialized);
    char* out = result.data();
    const auto copy = [&out](const char* from, const char* to) {
        std::memcpy(out, from, static_cast<size_t>(to - from));
        out += to - from;
    };
    const auto putBreak = [&out] {
        *out++ = '\r';
        *out++ = '\n';
    };

    const char* p = begin;
    while (p != end) {
        const char* const lf = findByte(p, end, '\n');
        // Each CR before the LF is a break of its own, except one right before it, which
        // makes a CR LF pair with it.
        for (const char* cr = findByte(p, lf, '\r'); cr != lf; cr = findByte(p, lf, '\r')) {
            copy(p, cr);
            putBreak();
            p = cr + 1;
        }
        copy(p, lf);
        if (lf == end)
            break;
        if (lf == begin || lf[-1] != '\r')
            putBreak();
        p = lf + 1;
    }
    result.truncate(out - result.constData());
    return result;
}

QByteArray nowPlayingLine(const QByteArray& pageText, const QByteArray& station, QByteArray* title)
{
    const QByteArray& t = pageText;
    // Without the marker p is 0, so are the anchor positions, and the title comes from the
    // first 4 characters of the page; the time is then read from the start of the page.
    const qsizetype p = findFrom(kOnNowMarker, t, 1);
    // Both searches start at the marker. Without an anchor after it (a = 0) the title text
    // runs from the start of the page to just past the "</a>"; without a "</a>" after it, or
    // with one before the anchor, the length is not positive and the title is empty.
    const qsizetype a = findFrom(kTitleAnchor, t, p);
    const qsizetype b = findFrom(kAnchorEnd, t, p);
    const QByteArray programme = StripTags(substring(t, a, b - a + kAnchorEnd.size()));

    // A marker near the start of the page gives a start below 1: the time is then read from
    // the start of the page.
    QByteArray time = substring(t, p - kTimeBeforeMarker, kTimeLength);
    if (time == kHitMark)
        time = kHitPrefix + substring(t, p - kHitTimeBeforeMarker, kTimeLength);
    if (time == kPageStart)
        time = kNoInformation;

    if (title)
        *title = programme;
    return Shorten50(fixPageCharset(station + " : " + time + " - " + programme));
}
