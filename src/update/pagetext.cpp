#include "update/pagetext.h"

#include "text/shorten.h"

#include <QByteArrayView>
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <string.h> // memmem
#include <utility>

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
// Where the hit mark stands after a hit row's time: the distance between the two readings.
constexpr qsizetype kHitMarkAfterTime = kHitTimeBeforeMarker - kTimeBeforeMarker;

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

// The row the page marks as on air: the first title anchor at or after the marker, with its
// time read at the fixed distances before the marker.
struct OnAirRow {
    // 1-based positions; 0 when the page lacks them.
    qsizetype marker = 0;
    qsizetype anchor = 0;
    // The title as the now-playing line has it: tags stripped, charset not fixed.
    QByteArray title;
    // The 5 characters the time field holds, "[HIT] " not included.
    QByteArray time;
    bool hit = false;
};

OnAirRow readOnAirRow(const QByteArray& t)
{
    OnAirRow row;
    // Without the marker p is 0, so are the anchor positions, and the title comes from the
    // first 4 characters of the page; the time is then read from the start of the page.
    row.marker = findFrom(kOnNowMarker, t, 1);
    // Both searches start at the marker. Without an anchor after it (a = 0) the title text
    // runs from the start of the page to just past the "</a>"; without a "</a>" after it, or
    // with one before the anchor, the length is not positive and the title is empty.
    row.anchor = findFrom(kTitleAnchor, t, row.marker);
    const qsizetype b = findFrom(kAnchorEnd, t, row.marker);
    row.title = StripTags(substring(t, row.anchor, b - row.anchor + kAnchorEnd.size()));

    // A marker near the start of the page gives a start below 1: the time is then read from
    // the start of the page.
    row.time = substring(t, row.marker - kTimeBeforeMarker, kTimeLength);
    row.hit = row.time == kHitMark;
    if (row.hit)
        row.time = substring(t, row.marker - kHitTimeBeforeMarker, kTimeLength);
    return row;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isTimeAt(const char* p)
{
    return isDigit(p[0]) && isDigit(p[1]) && p[2] == ':' && isDigit(p[3]) && isDigit(p[4]);
}

// Walks the programme rows of a page. A row is a title anchor; it ends after the first "</a>"
// at or after the anchor (after the anchor's start when there is none), and the next row's
// anchor is looked for from there. A row other than the one on air has no marker to count
// back from: its time is the last "DD:DD" between the end of the row before and its anchor, and
// it is a hit when the hit mark stands where the on-air row has it, 75 characters after the
// time. Every character is looked at a fixed number of times, however the page is made.
class RowReader {
public:
    RowReader(const QByteArray& pageText, const OnAirRow& onAir) : m_t(pageText), m_onAir(onAir) {}

    // The row whose anchor is the first at or after from (1-based); sets from to its end.
    // nullopt when no anchor follows.
    std::optional<PageProgramme> rowFrom(qsizetype& from)
    {
        const qsizetype anchor = findFrom(kTitleAnchor, m_t, from);
        if (anchor == 0)
            return std::nullopt;
        const qsizetype rowStart = from;
        const qsizetype close = closeFrom(anchor);
        from = close != 0 ? close + kAnchorEnd.size() : anchor + kTitleAnchor.size();

        PageProgramme row;
        if (anchor == m_onAir.anchor) {
            row.time = fixPageCharset(m_onAir.time);
            row.title = fixPageCharset(m_onAir.title);
            row.onAir = true;
            row.hit = m_onAir.hit;
            return row;
        }
        // A row whose "</a>" lies past the anchor of the row on air ends there, so that the
        // row on air is read whole whatever comes before it.
        qsizetype titleEnd = close != 0 ? from : 0;
        if (m_onAir.anchor > anchor && from > m_onAir.anchor)
            from = titleEnd = m_onAir.anchor;
        if (titleEnd != 0)
            row.title = fixPageCharset(StripTags(substring(m_t, anchor, titleEnd - anchor)));
        if (const qsizetype time = lastTimeBefore(rowStart, anchor); time != 0) {
            row.time = substring(m_t, time, kTimeLength);
            row.hit = substring(m_t, time + kHitMarkAfterTime, kHitMark.size()) == kHitMark;
        }
        return row;
    }

private:
    // The 1-based position of the first "</a>" at or after from, 0 when there is none. Once
    // a search has failed, every later one fails at once instead of reading the rest of the
    // page again.
    qsizetype closeFrom(qsizetype from)
    {
        if (m_noCloseFrom != 0 && from >= m_noCloseFrom)
            return 0;
        const qsizetype close = findFrom(kAnchorEnd, m_t, from);
        if (close == 0)
            m_noCloseFrom = from;
        return close;
    }

    // The 1-based position of the last "DD:DD" that lies whole in [from, to); 0 when none.
    qsizetype lastTimeBefore(qsizetype from, qsizetype to) const
    {
        const char* const data = m_t.constData();
        for (qsizetype pos = to - kTimeLength; pos >= from; --pos) {
            if (isTimeAt(data + pos - 1))
                return pos;
        }
        return 0;
    }

    const QByteArray& m_t;
    const OnAirRow m_onAir;
    qsizetype m_noCloseFrom = 0;
};

// The row after the one on air; the rows before the one on air make no difference to it.
std::optional<PageProgramme> rowAfterOnAir(const QByteArray& t, const OnAirRow& onAir)
{
    if (onAir.anchor == 0)
        return std::nullopt;
    RowReader reader(t, onAir);
    qsizetype from = onAir.anchor;
    reader.rowFrom(from);
    return reader.rowFrom(from);
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

QByteArray nowPlayingLine(const QByteArray& pageText, const QByteArray& station, QByteArray* title,
                          std::optional<PageProgramme>* next, QByteArray* onAirTime)
{
    const OnAirRow row = readOnAirRow(pageText);
    QByteArray time = row.hit ? kHitPrefix + row.time : row.time;
    if (time == kPageStart)
        time = kNoInformation;
    if (title)
        *title = row.title;
    if (next)
        *next = rowAfterOnAir(pageText, row);
    if (onAirTime)
        *onAirTime = fixPageCharset(row.time);
    return Shorten50(fixPageCharset(station + " : " + time + " - " + row.title));
}

QList<PageProgramme> pageProgrammes(const QByteArray& pageText)
{
    RowReader reader(pageText, readOnAirRow(pageText));
    QList<PageProgramme> rows;
    qsizetype from = 1;
    while (std::optional<PageProgramme> row = reader.rowFrom(from))
        rows.append(std::move(*row));
    return rows;
}

std::optional<PageProgramme> nextProgramme(const QByteArray& pageText)
{
    return rowAfterOnAir(pageText, readOnAirRow(pageText));
}
