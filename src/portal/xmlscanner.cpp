#include "portal/xmlscanner.h"

#include "portal/xmllimits.h"

#include <QIODevice>
#include <QSet>
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

using namespace xmllimits;

constexpr qsizetype kChunk = 64 * 1024;
// Up to this many attributes a tag's names are compared one by one; more get a hash set, so
// that a tag of thousands stays linear.
constexpr qsizetype kAttributesComparedInTurn = 8;
// A tag's attributes beyond this leave no room kept for the next tag.
constexpr size_t kAttributesKept = 1024;

enum : quint8 {
    kNameStart = 1,
    kNameChar = 2,
    kSpace = 4,
    kTextStop = 8,       // ends a run of plain text bytes
    kTextStopUtf8 = 16,  // the same where bytes above ASCII are checked as UTF-8
    kValueStop = 32,     // ends a run of plain attribute value bytes
    kValueStopUtf8 = 64, // the same, UTF-8 checked
};

constexpr std::array<quint8, 256> makeClasses()
{
    std::array<quint8, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        quint8 k = 0;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter || c == '_' || c == ':' || c >= 0x80)
            k |= kNameStart | kNameChar;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.')
            k |= kNameChar;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            k |= kSpace;
        if (c == '<' || c == '&')
            k |= kTextStop | kTextStopUtf8 | kValueStop | kValueStopUtf8;
        if (c == '"' || c == '\'')
            k |= kValueStop | kValueStopUtf8;
        if (c >= 0x80)
            k |= kTextStopUtf8 | kValueStopUtf8;
        classes[c] = k;
    }
    return classes;
}

constexpr std::array<quint8, 256> kClasses = makeClasses();

// The line feeds in [begin, end), eight bytes at a time: every byte of the input passes here.
qint64 countLineFeeds(const char* begin, const char* end)
{
    constexpr quint64 kOnes = 0x0101010101010101ULL;
    qint64 count = 0;
    const char* p = begin;
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        const quint64 x = word ^ (kOnes * '\n');
        // The high bit of each byte that is zero in x, and of no other.
        const quint64 zero = ~(((x & (kOnes * 0x7F)) + kOnes * 0x7F) | x) & (kOnes * 0x80);
        count += qint64((((zero >> 7) * kOnes) >> 56));
    }
    for (; p < end; ++p)
        count += *p == '\n' ? 1 : 0;
    return count;
}

bool is(uchar c, quint8 what)
{
    return (kClasses[c] & what) != 0;
}

// The length of the UTF-8 sequence whose first byte (0x80 or above) is at p: 0 when the bytes
// are no UTF-8, -1 when those before end begin a sequence that may go on after it.
int utf8Length(const uchar* p, const uchar* end)
{
    const uchar lead = *p;
    int length = 0;
    // The second byte's range, narrower after some leads: no overlong forms, no surrogates,
    // nothing above U+10FFFF.
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (p + i >= end)
            return -1;
        const uchar c = p[i];
        if (i == 1 ? (c < low || c > high) : (c & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

struct Reference {
    enum Kind {
        None,       // the "&" starts no reference: it is text
        Named,      // &name;
        Character,  // &#...; of a character XML allows
        Incomplete, // the bytes run out before it can be told
        Malformed,  // &# without a proper number
        Forbidden,  // &#...; of a character XML does not allow
    };
    Kind kind = None;
    qsizetype length = 0; // from "&" to ";" inclusive
    char32_t code = 0;
};

int digitValue(uchar c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The reference at p, an "&", in the bytes before end; final: nothing follows end.
Reference parseReference(const uchar* p, const uchar* end, bool final)
{
    const uchar* q = p + 1;
    if (q == end)
        return {final ? Reference::None : Reference::Incomplete};
    if (*q == '#') {
        ++q;
        const bool hex = q < end && *q == 'x';
        if (hex)
            ++q;
        char32_t code = 0;
        const uchar* digits = q;
        for (; q < end && *q != ';' && q - p <= kMaxReference; ++q) {
            const int value = digitValue(*q, hex);
            if (value < 0)
                return {Reference::Malformed};
            // Anything above U+10FFFF is as bad as any other; stop counting there.
            code = std::min<char32_t>(code * (hex ? 16 : 10) + char32_t(value), 0x110000);
        }
        if (q == end)
            return {final ? Reference::Malformed : Reference::Incomplete};
        if (*q != ';' || q == digits)
            return {Reference::Malformed};
        const qsizetype length = q + 1 - p;
        return {isXmlChar(code) ? Reference::Character : Reference::Forbidden, length, code};
    }
    if (!is(*q, kNameStart))
        return {Reference::None};
    for (++q; q < end && is(*q, kNameChar); ++q) {
        if (q - p > kMaxReference)
            return {Reference::None};
    }
    if (q == end)
        return {final ? Reference::None : Reference::Incomplete};
    if (*q != ';')
        return {Reference::None};
    return {Reference::Named, q + 1 - p};
}

QChar predefinedEntity(QByteArrayView name)
{
    if (name == "lt")
        return u'<';
    if (name == "gt")
        return u'>';
    if (name == "amp")
        return u'&';
    if (name == "apos")
        return u'\'';
    if (name == "quot")
        return u'"';
    return QChar();
}

void appendCharacter(QString* out, char32_t code)
{
    if (QChar::requiresSurrogates(code)) {
        out->append(QChar::highSurrogate(code));
        out->append(QChar::lowSurrogate(code));
    } else {
        out->append(QChar(char16_t(code)));
    }
}

// Markup is read as ASCII, so a document's encoding must give the ASCII characters for their
// bytes.
bool keepsAscii(QStringDecoder& decoder)
{
    QByteArray ascii("\t\n\r");
    for (char c = 0x20; c < 0x7F; ++c)
        ascii += c;
    const QString decoded = decoder(ascii);
    return !decoder.hasError() && decoded == QLatin1String(ascii);
}

// Does every byte stand for a character of its own? Then values can be decoded one by one,
// wherever they are cut; other encodings are turned into UTF-8 as they are read.
bool isSingleByte(QStringDecoder& decoder)
{
    for (int b = 0x80; b < 0x100; ++b) {
        const char pair[2] = {char(b), '\xA1'};
        const QString apart = QString(decoder(QByteArrayView(pair, 1))) +
                              QString(decoder(QByteArrayView(pair + 1, 1)));
        if (QString(decoder(QByteArrayView(pair, 2))) != apart)
            return false;
    }
    return true;
}

const char* const kNotUtf8 =
    "a byte sequence that is not UTF-8 (is the file's encoding declared?).";

// One read, and for more than a chunk more reads while the device has more at once: a long
// token from a device that gives little a read is then not scanned again for every read.
qint64 readFrom(QIODevice* device, char* to, qint64 wanted)
{
    qint64 got = device->read(to, wanted);
    while (wanted > kChunk && got > 0 && got < wanted) {
        const qint64 more = device->read(to + got, wanted - got);
        // An error shows on the next read, after the bytes before it.
        if (more <= 0)
            break;
        got += more;
    }
    return got;
}

// "1 MiB", "64 KiB": a limit as messages give it.
QString sizeText(qint64 bytes)
{
    if (bytes % (1 << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    return QStringLiteral("%1 KiB").arg(bytes >> 10);
}

} // namespace

XmlScanner::XmlScanner(QIODevice* device) : m_device(device) {}

XmlScanner::Token XmlScanner::next()
{
    if (m_token == Token::Invalid || m_token == Token::EndOfDocument)
        return m_token;
    // Decoding the last token went past a limit.
    if (!m_error.isEmpty())
        return m_token = Token::Invalid;
    if (m_pendingEnd) {
        m_pendingEnd = false;
        return m_token = Token::EndElement;
    }
    // Kept for the next tag, unless a huge one left it so.
    if (m_attributes.capacity() > kAttributesKept)
        m_attributes = {};
    for (;;) {
        m_tokenStart = m_pos;
        const Step step = scanToken();
        // Whatever the reads held at once, markup longer than the limit is refused.
        if ((step == Step::Token || step == Step::Skipped) && m_holding &&
            m_pos - m_tokenStart > kMaxMarkup) {
            tooLong();
            return m_token = Token::Invalid;
        }
        switch (step) {
        case Step::Token:
            return m_token;
        case Step::Skipped:
            break;
        case Step::Failed:
            return m_token = Token::Invalid;
        case Step::More:
            if (m_eof) {
                fail(m_end, QStringLiteral("Premature end of document."));
                return m_token = Token::Invalid;
            }
            // The token is scanned again from its start once there is more of it.
            m_pos = m_tokenStart;
            if (!refill())
                return m_token = Token::Invalid;
            break;
        }
    }
}

qint64 XmlScanner::lineNumber() const
{
    return hasError() ? m_errorLine : lineAt(m_tokenStart);
}

qint64 XmlScanner::lineAt(qsizetype offset) const
{
    const char* d = m_buffer.constData();
    if (offset >= m_linesCountedTo)
        m_lines += countLineFeeds(d + m_linesCountedTo, d + offset);
    else
        m_lines -= countLineFeeds(d + offset, d + m_linesCountedTo);
    m_linesCountedTo = offset;
    return m_lines + 1;
}

QString XmlScanner::nameString() const
{
    return decode(name(), Decode::Name, false, {});
}

std::optional<QString> XmlScanner::attribute(QByteArrayView name) const
{
    for (const Attribute& a : m_attributes) {
        if (view(a.nameBegin, a.nameLength) == name)
            return decode(view(a.valueBegin, a.valueLength), Decode::Attribute, a.hasReference,
                          m_entities);
    }
    return std::nullopt;
}

QString XmlScanner::text() const
{
    return textPiece(std::numeric_limits<qsizetype>::max());
}

QString XmlScanner::textPiece(qsizetype room) const
{
    return decode(view(m_textBegin, m_textLength), m_textVerbatim ? Decode::Cdata : Decode::Text,
                  m_textHasReference, m_entities, room);
}

void XmlScanner::skipElement()
{
    for (int depth = 1; depth > 0;) {
        switch (next()) {
        case Token::StartElement:
            ++depth;
            break;
        case Token::EndElement:
            --depth;
            break;
        case Token::Text:
            break;
        default:
            return;
        }
    }
}

QString XmlScanner::readElementText()
{
    QString result;
    bool cut = false;
    for (int depth = 1; depth > 0;) {
        switch (next()) {
        case Token::StartElement:
            ++depth;
            break;
        case Token::EndElement:
            --depth;
            break;
        case Token::Text:
            // Once cut, the rest is only scanned past: never decoded, never held.
            if (cut)
                break;
            result += textPiece(kMaxElementText - result.size());
            if (result.size() >= kMaxElementText) {
                cut = true;
                qsizetype keep = kMaxElementText;
                if (result.at(keep - 1).isHighSurrogate())
                    --keep;
                result.truncate(keep);
            }
            break;
        default:
            return result;
        }
    }
    return result;
}

bool XmlScanner::refill()
{
    // Only the token being scanned is kept; the lines of what goes are counted first.
    lineAt(m_tokenStart);
    const qsizetype kept = m_end - m_tokenStart;
    // All of it is markup still unfinished (text would have come as a token).
    if (m_holding && kept > kMaxMarkup) {
        tooLong();
        return false;
    }
    if (m_tokenStart > 0)
        std::memmove(m_buffer.data(), m_buffer.constData() + m_tokenStart, size_t(kept));
    m_dropped += m_tokenStart;
    m_linesCountedTo = 0;
    m_end = kept;
    m_pos = m_tokenStart = 0;
    // A token longer than a chunk gets as much again, so that scanning it again and again
    // stays linear in its length.
    if (!readMore(std::max(kChunk, kept)))
        return false;
    if (!m_started) {
        m_started = true;
        return detectEncoding();
    }
    return true;
}

bool XmlScanner::readMore(qsizetype wanted)
{
    QByteArray transcoded;
    qint64 got = 0;
    if (m_transcoder) {
        QByteArray raw(wanted, Qt::Uninitialized);
        got = readFrom(m_device, raw.data(), wanted);
        if (got > 0)
            transcoded = transcode(QByteArrayView(raw.constData(), got));
    } else {
        if (m_buffer.size() < m_end + wanted + 1)
            m_buffer.resize(m_end + wanted + 1);
        got = readFrom(m_device, m_buffer.data() + m_end, wanted);
    }
    if (got < 0) {
        fail(m_end, QStringLiteral("reading failed: %1").arg(m_device->errorString()));
        return false;
    }
    // A pipe or socket may only have nothing yet.
    if (got == 0 && !(m_device->isSequential() && m_device->waitForReadyRead(-1)))
        m_eof = true;
    if (m_transcoder) {
        got = transcoded.size();
        if (m_buffer.size() < m_end + got + 1)
            m_buffer.resize(m_end + got + 1);
        std::memcpy(m_buffer.data() + m_end, transcoded.constData(), size_t(got));
    }
    m_end += got;
    // Ends every run of text or value bytes, so that their loops need no bounds check.
    m_buffer[m_end] = '<';
    return true;
}

bool XmlScanner::detectEncoding()
{
    while (m_end < 4 && !m_eof) {
        if (!readMore(kChunk))
            return false;
    }
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    const auto startsWith = [&](std::initializer_list<uchar> bytes) {
        return m_end >= qsizetype(bytes.size()) && std::equal(bytes.begin(), bytes.end(), d);
    };
    if (startsWith({0xEF, 0xBB, 0xBF})) {
        m_pos = 3;
        m_encodingFixed = true;
        return true;
    }
    std::optional<QStringConverter::Encoding> utf16;
    if (startsWith({0xFF, 0xFE}) || startsWith({'<', 0, '?', 0}))
        utf16 = QStringConverter::Utf16LE;
    else if (startsWith({0xFE, 0xFF}) || startsWith({0, '<', 0, '?'}))
        utf16 = QStringConverter::Utf16BE;
    if (!utf16)
        return true;
    // From here on every byte read is turned into UTF-8 first, these too.
    m_transcoder.emplace(*utf16);
    m_encodingFixed = true;
    const QByteArray utf8 = transcode(QByteArrayView(m_buffer.constData(), m_end));
    m_end = 0;
    if (m_buffer.size() < utf8.size() + 1)
        m_buffer.resize(utf8.size() + 1);
    std::memcpy(m_buffer.data(), utf8.constData(), size_t(utf8.size()));
    m_end = utf8.size();
    m_buffer[m_end] = '<';
    return true;
}

QByteArray XmlScanner::transcode(QByteArrayView raw)
{
    // Both stateful: a character, or a surrogate pair, may be cut between two reads.
    const QString text = (*m_transcoder)(raw);
    return m_toUtf8(text);
}

XmlScanner::Step XmlScanner::fail(qsizetype offset, const QString& what)
{
    failLater(offset, what);
    return Step::Failed;
}

void XmlScanner::tooLong()
{
    fail(m_tokenStart,
         QStringLiteral("%1 longer than %2.").arg(QLatin1String(m_holding), sizeText(kMaxMarkup)));
}

void XmlScanner::failLater(qsizetype offset, const QString& what) const
{
    if (m_error.isEmpty()) {
        m_error = what;
        m_errorLine = lineAt(offset);
    }
}

XmlScanner::Step XmlScanner::needMore(const char* inside)
{
    if (!m_eof)
        return Step::More;
    return fail(m_end, QStringLiteral("Premature end of document inside %1.").arg(inside));
}

int XmlScanner::startsAt(qsizetype at, QByteArrayView text) const
{
    const qsizetype available = std::min(m_end - at, text.size());
    if (std::memcmp(m_buffer.constData() + at, text.data(), size_t(available)) != 0)
        return 0;
    return available == text.size() ? 1 : -1;
}

XmlScanner::Step XmlScanner::scanToken()
{
    if (m_inCdata)
        return scanCdata();
    if (m_pos == m_end) {
        if (!m_eof)
            return Step::More;
        if (!m_openStarts.empty())
            return fail(m_end, QStringLiteral("Premature end of document: <%1> is not closed.")
                                   .arg(decode(openName(), Decode::Name, false, {})));
        if (!m_rootSeen)
            return fail(m_end, QStringLiteral("Premature end of document: no root element."));
        m_token = Token::EndOfDocument;
        return Step::Token;
    }
    const char* d = m_buffer.constData();
    if (d[m_pos] != '<') {
        m_holding = nullptr;
        return scanText();
    }
    m_holding = "a tag";
    if (m_pos + 1 == m_end)
        return needMore("a tag");
    switch (d[m_pos + 1]) {
    case '/':
        return scanEndTag();
    case '?':
        m_holding = "a processing instruction";
        return scanProcessingInstruction();
    case '!':
        return scanMarkupDeclaration();
    default:
        return scanStartTag();
    }
}

XmlScanner::Step XmlScanner::scanText()
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    qsizetype p = m_pos;
    if (m_openStarts.empty()) {
        while (is(d[p], kSpace))
            ++p;
        if (p < m_end && d[p] != '<')
            return fail(p, m_rootSeen ? QStringLiteral("text after the root element.")
                                      : QStringLiteral("text before the root element."));
        m_pos = p;
        return Step::Skipped;
    }
    const quint8 stop = m_utf8 ? kTextStopUtf8 : kTextStop;
    bool hasReference = false;
    // Up to the next tag; at the end of the bytes read, up to there, so that a long text
    // comes in pieces and never needs more room than a chunk. Up to a fault, too, which the
    // next call finds: the text before it comes first however the input is cut, and with it
    // a fault of its decoding, past the entity limit, which comes first then.
    for (;;) {
        while (!is(d[p], stop))
            ++p;
        if (p == m_end && !m_eof && d[p - 1] == '\r') {
            // Not between the two bytes of a CR LF, which is one line end.
            if (--p == m_pos)
                return needMore("text");
            break;
        }
        if (p == m_end || d[p] == '<')
            break;
        if (d[p] == '&') {
            const Reference r = parseReference(d + p, d + m_end, m_eof);
            if (r.kind == Reference::Incomplete) {
                if (p > m_pos)
                    break;
                return needMore("text");
            }
            if ((r.kind == Reference::Malformed || r.kind == Reference::Forbidden) && p > m_pos)
                break;
            if (r.kind == Reference::Malformed)
                return fail(p, QStringLiteral("a malformed character reference."));
            if (r.kind == Reference::Forbidden)
                return fail(p, QStringLiteral("the character reference \"%1\" is not of a "
                                              "character XML allows.")
                                   .arg(QLatin1String(m_buffer.constData() + p, r.length)));
            hasReference = hasReference || r.kind != Reference::None;
            // A name is scanned on as text, so that its bytes are checked like all others.
            p += r.kind == Reference::Character ? r.length : 1;
            continue;
        }
        const int length = utf8Length(d + p, d + m_end);
        if (length > 0) {
            p += length;
            continue;
        }
        if (p > m_pos)
            break;
        if (length < 0 && !m_eof)
            return needMore("text");
        return fail(p, QString::fromLatin1(kNotUtf8));
    }
    return textToken(m_pos, p - m_pos, hasReference, false, p);
}

XmlScanner::Step XmlScanner::textToken(qsizetype begin, qsizetype length, bool hasReference,
                                       bool verbatim, qsizetype next)
{
    m_textBegin = begin;
    m_textLength = length;
    m_textHasReference = hasReference;
    m_textVerbatim = verbatim;
    m_pos = next;
    m_token = Token::Text;
    return Step::Token;
}

XmlScanner::Step XmlScanner::scanName(qsizetype* at, const char* inside)
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    qsizetype p = *at;
    uchar seen = 0;
    while (is(d[p], kNameChar)) {
        seen |= d[p];
        ++p;
    }
    if (p == m_end)
        return needMore(inside);
    if ((seen & 0x80) && m_utf8) {
        if (const Step s = checkUtf8(*at, p); s != Step::Token)
            return s;
    }
    *at = p;
    return Step::Token;
}

XmlScanner::Step XmlScanner::checkUtf8(qsizetype begin, qsizetype end, qsizetype* cut)
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    for (qsizetype i = begin; i < end;) {
        if (d[i] < 0x80) {
            ++i;
            continue;
        }
        const int length = utf8Length(d + i, d + end);
        if (length < 0 && cut) {
            *cut = i;
            return Step::Token;
        }
        if (length <= 0)
            return fail(i, QString::fromLatin1(kNotUtf8));
        i += length;
    }
    if (cut)
        *cut = end;
    return Step::Token;
}

XmlScanner::Step XmlScanner::scanStartTag()
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    qsizetype p = m_pos + 1;
    if (!is(d[p], kNameStart))
        return fail(p, QStringLiteral("\"<\" is not followed by a name."));
    const qsizetype nameBegin = p;
    if (const Step s = scanName(&p, "a tag"); s != Step::Token)
        return s;
    const QByteArrayView name = view(nameBegin, p - nameBegin);
    const auto tagName = [&] { return decode(name, Decode::Name, false, {}); };
    if (m_openStarts.empty() && m_rootSeen)
        return fail(m_pos, QStringLiteral("a second root element <%1>.").arg(tagName()));
    if (m_openStarts.size() >= size_t(kMaxDepth))
        return fail(m_pos, QStringLiteral("elements nested more than %1 deep.").arg(kMaxDepth));

    m_attributes.clear();
    // The names of the attributes so far, once there are many; QHash's seed is random, so
    // that no source can make their hashes collide.
    QSet<QByteArrayView> names;
    bool empty = false;
    const quint8 stop = m_utf8 ? kValueStopUtf8 : kValueStop;
    for (;;) {
        const qsizetype spaceBegin = p;
        while (is(d[p], kSpace))
            ++p;
        if (p == m_end)
            return needMore("a tag");
        if (d[p] == '>') {
            ++p;
            break;
        }
        if (d[p] == '/') {
            if (p + 1 == m_end)
                return needMore("a tag");
            if (d[p + 1] != '>')
                return fail(p,
                            QStringLiteral("\"/\" not followed by \">\" in <%1>.").arg(tagName()));
            p += 2;
            empty = true;
            break;
        }
        if (p == spaceBegin || !is(d[p], kNameStart))
            return fail(p, QStringLiteral("unexpected \"%1\" in <%2>.")
                               .arg(QChar::fromLatin1(char(d[p])), tagName()));
        Attribute a{};
        a.nameBegin = p;
        if (const Step s = scanName(&p, "a tag"); s != Step::Token)
            return s;
        a.nameLength = p - a.nameBegin;
        const auto attributeName = [&] {
            return decode(view(a.nameBegin, a.nameLength), Decode::Name, false, {});
        };
        while (is(d[p], kSpace))
            ++p;
        if (p == m_end)
            return needMore("a tag");
        if (d[p] != '=')
            return fail(p, QStringLiteral("attribute \"%1\" has no value.").arg(attributeName()));
        ++p;
        while (is(d[p], kSpace))
            ++p;
        if (p == m_end)
            return needMore("a tag");
        const uchar quote = d[p];
        if (quote != '"' && quote != '\'')
            return fail(p, QStringLiteral("the value of attribute \"%1\" is not in quotes.")
                               .arg(attributeName()));
        a.valueBegin = ++p;
        for (;;) {
            while (!is(d[p], stop))
                ++p;
            if (p == m_end)
                return needMore("a tag");
            const uchar c = d[p];
            if (c == quote)
                break;
            if (c == '"' || c == '\'') {
                ++p;
            } else if (c == '<') {
                return fail(
                    p,
                    QStringLiteral("\"<\" in the value of attribute \"%1\".").arg(attributeName()));
            } else if (c == '&') {
                const Reference r = parseReference(d + p, d + m_end, m_eof);
                if (r.kind == Reference::Incomplete)
                    return needMore("a tag");
                if (r.kind == Reference::Malformed || r.kind == Reference::Forbidden)
                    return fail(p, QStringLiteral("a bad character reference in attribute \"%1\".")
                                       .arg(attributeName()));
                a.hasReference = a.hasReference || r.kind != Reference::None;
                p += r.kind == Reference::Character ? r.length : 1;
            } else {
                const int length = utf8Length(d + p, d + m_end);
                if (length < 0 && !m_eof)
                    return needMore("a tag");
                if (length <= 0)
                    return fail(p, QString::fromLatin1(kNotUtf8));
                p += length;
            }
        }
        a.valueLength = p - a.valueBegin;
        ++p;
        const QByteArrayView attributeBytes = view(a.nameBegin, a.nameLength);
        bool twice = false;
        if (qsizetype(m_attributes.size()) < kAttributesComparedInTurn) {
            for (const Attribute& other : std::as_const(m_attributes))
                twice = twice || view(other.nameBegin, other.nameLength) == attributeBytes;
        } else {
            if (names.isEmpty()) {
                for (const Attribute& other : std::as_const(m_attributes))
                    names.insert(view(other.nameBegin, other.nameLength));
            }
            const qsizetype before = names.size();
            names.insert(attributeBytes);
            twice = names.size() == before;
        }
        if (twice)
            return fail(a.nameBegin, QStringLiteral("attribute \"%1\" is given twice in <%2>.")
                                         .arg(attributeName(), tagName()));
        m_attributes.push_back(a);
    }

    m_declarationAllowed = false;
    m_rootSeen = true;
    m_nameBegin = nameBegin;
    m_nameLength = name.size();
    if (!empty) {
        m_openStarts.push_back(qsizetype(m_openNames.size()));
        m_openNames.append(name.data(), size_t(name.size()));
    }
    m_pendingEnd = empty;
    m_pos = p;
    m_token = Token::StartElement;
    return Step::Token;
}

XmlScanner::Step XmlScanner::scanEndTag()
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    qsizetype p = m_pos + 2;
    if (p == m_end)
        return needMore("a tag");
    if (!is(d[p], kNameStart))
        return fail(p, QStringLiteral("\"</\" is not followed by a name."));
    const qsizetype nameBegin = p;
    if (const Step s = scanName(&p, "a tag"); s != Step::Token)
        return s;
    const QByteArrayView name = view(nameBegin, p - nameBegin);
    while (is(d[p], kSpace))
        ++p;
    if (p == m_end)
        return needMore("a tag");
    if (d[p] != '>')
        return fail(p,
                    QStringLiteral("unexpected \"%1\" in </%2>.")
                        .arg(QChar::fromLatin1(char(d[p])), decode(name, Decode::Name, false, {})));
    ++p;
    if (m_openStarts.empty())
        return fail(m_pos, QStringLiteral("the end tag </%1> has no start tag.")
                               .arg(decode(name, Decode::Name, false, {})));
    const QByteArrayView open = openName();
    if (open != name)
        return fail(m_pos, QStringLiteral("the end tag </%1> does not match <%2>.")
                               .arg(decode(name, Decode::Name, false, {}),
                                    decode(open, Decode::Name, false, {})));
    m_openNames.resize(size_t(m_openStarts.back()));
    m_openStarts.pop_back();
    m_declarationAllowed = false;
    m_nameBegin = nameBegin;
    m_nameLength = name.size();
    m_pos = p;
    m_token = Token::EndElement;
    return Step::Token;
}

XmlScanner::Step XmlScanner::skipPast(qsizetype* at, QByteArrayView terminator, const char* inside)
{
    const std::string_view bytes(m_buffer.constData() + *at, size_t(m_end - *at));
    const size_t found = bytes.find(std::string_view(terminator.data(), terminator.size()));
    if (found == std::string_view::npos)
        return needMore(inside);
    *at += qsizetype(found) + terminator.size();
    return Step::Token;
}

XmlScanner::Step XmlScanner::skipQuoted(qsizetype* at, const char* inside)
{
    const char* d = m_buffer.constData();
    const void* found = std::memchr(d + *at + 1, d[*at], size_t(m_end - *at - 1));
    if (!found)
        return needMore(inside);
    *at = static_cast<const char*>(found) - d + 1;
    return Step::Token;
}

XmlScanner::Step XmlScanner::skipDeclaration(qsizetype* at, const char* inside)
{
    const char* d = m_buffer.constData();
    for (qsizetype p = *at;;) {
        if (p == m_end)
            return needMore(inside);
        if (d[p] == '"' || d[p] == '\'') {
            if (const Step s = skipQuoted(&p, inside); s != Step::Token)
                return s;
        } else if (d[p] == '>') {
            *at = p + 1;
            return Step::Token;
        } else {
            ++p;
        }
    }
}

XmlScanner::Step XmlScanner::scanProcessingInstruction()
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    qsizetype p = m_pos + 2;
    if (p == m_end)
        return needMore("a processing instruction");
    if (!is(d[p], kNameStart))
        return fail(p, QStringLiteral("\"<?\" is not followed by a name."));
    const qsizetype targetBegin = p;
    if (const Step s = scanName(&p, "a processing instruction"); s != Step::Token)
        return s;
    const QByteArrayView target = view(targetBegin, p - targetBegin);
    qsizetype end = p;
    if (const Step s = skipPast(&end, "?>", "a processing instruction"); s != Step::Token)
        return s;
    if (target.compare("xml", Qt::CaseInsensitive) == 0) {
        if (target != "xml" || !m_declarationAllowed)
            return fail(m_pos, QStringLiteral("an XML declaration that is not at the start."));
        if (const Step s = scanXmlDeclaration(p, end - 2, end); s != Step::Token)
            return s;
    }
    m_declarationAllowed = false;
    m_pos = end;
    return Step::Skipped;
}

XmlScanner::Step XmlScanner::scanXmlDeclaration(qsizetype begin, qsizetype end, qsizetype after)
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    const auto malformed = [&](qsizetype at) {
        return fail(at, QStringLiteral("a malformed XML declaration."));
    };
    QByteArray encoding;
    for (qsizetype p = begin;;) {
        while (p < end && is(d[p], kSpace))
            ++p;
        if (p == end)
            break;
        const qsizetype nameBegin = p;
        while (p < end && is(d[p], kNameChar))
            ++p;
        const QByteArrayView name = view(nameBegin, p - nameBegin);
        while (p < end && is(d[p], kSpace))
            ++p;
        if (name.isEmpty() || p == end || d[p] != '=')
            return malformed(p);
        ++p;
        while (p < end && is(d[p], kSpace))
            ++p;
        if (p == end || (d[p] != '"' && d[p] != '\''))
            return malformed(p);
        const uchar quote = d[p++];
        const qsizetype valueBegin = p;
        while (p < end && d[p] != quote)
            ++p;
        if (p == end)
            return malformed(p);
        if (name == "encoding")
            encoding = view(valueBegin, p - valueBegin).toByteArray();
        ++p;
    }
    return encoding.isEmpty() ? Step::Token : setEncoding(encoding, after);
}

XmlScanner::Step XmlScanner::setEncoding(const QByteArray& name, qsizetype after)
{
    if (m_encodingFixed)
        return Step::Token;
    if (QStringConverter::encodingForName(name.constData()) == QStringConverter::Utf8)
        return Step::Token;
    // Stateless: values are decoded one by one, cut at ASCII bytes.
    QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid() || !keepsAscii(decoder))
        return fail(m_pos, QStringLiteral("the declared encoding \"%1\" cannot be read.")
                               .arg(QString::fromLatin1(name)));
    if (!isSingleByte(decoder)) {
        // From the declaration's end on, as if the document were UTF-8.
        m_transcoder.emplace(name.constData());
        const QByteArray utf8 = transcode(view(after, m_end - after));
        if (m_buffer.size() < after + utf8.size() + 1)
            m_buffer.resize(after + utf8.size() + 1);
        std::memcpy(m_buffer.data() + after, utf8.constData(), size_t(utf8.size()));
        m_end = after + utf8.size();
        m_buffer[m_end] = '<';
        return Step::Token;
    }
    decoder.resetState();
    m_utf8 = false;
    m_decoder = std::move(decoder);
    return Step::Token;
}

XmlScanner::Step XmlScanner::scanMarkupDeclaration()
{
    const int comment = startsAt(m_pos, "<!--");
    if (comment == 1) {
        m_holding = "a comment";
        qsizetype p = m_pos + 4;
        if (const Step s = skipPast(&p, "-->", "a comment"); s != Step::Token)
            return s;
        m_pos = p;
        return Step::Skipped;
    }
    const int cdata = startsAt(m_pos, "<![CDATA[");
    if (cdata == 1) {
        if (m_openStarts.empty())
            return fail(m_pos, QStringLiteral("a CDATA section outside the root element."));
        // Its text follows in pieces, like any other.
        m_inCdata = true;
        m_pos += 9;
        return Step::Skipped;
    }
    const int doctype = startsAt(m_pos, "<!DOCTYPE");
    if (doctype == 1) {
        if (m_doctypeSeen || m_rootSeen)
            return fail(m_pos, QStringLiteral("a document type declaration that does not come "
                                              "first before the root element."));
        m_holding = "the document type declaration";
        // Scanned again from its start when it needs more bytes: its entities are counted
        // again then.
        const qint64 expanded = m_expanded;
        const Step s = scanDoctype();
        if (s == Step::More)
            m_expanded = expanded;
        return s;
    }
    if (comment < 0 || cdata < 0 || doctype < 0)
        return needMore("a tag");
    return fail(m_pos, QStringLiteral("unknown markup after \"<!\"."));
}

XmlScanner::Step XmlScanner::scanCdata()
{
    m_holding = nullptr;
    const char* d = m_buffer.constData();
    const qsizetype begin = m_pos;
    const size_t found = std::string_view(d + begin, size_t(m_end - begin)).find("]]>");
    const bool last = found != std::string_view::npos;
    qsizetype end = last ? begin + qsizetype(found) : m_end;
    if (!last) {
        if (m_eof)
            return needMore("a CDATA section");
        // Up to the end of the bytes read, but for what may begin the "]]>", or be the CR of
        // a CR LF, which is one line end however the input is cut.
        if (end - begin >= 2 && d[end - 1] == ']' && d[end - 2] == ']')
            end -= 2;
        else if (end > begin && (d[end - 1] == ']' || d[end - 1] == '\r'))
            --end;
    }
    // A character cut at the end of the bytes read waits for the next piece.
    if (m_utf8) {
        if (const Step s = checkUtf8(begin, end, last ? nullptr : &end); s != Step::Token)
            return s;
    }
    const qsizetype after = last ? end + 3 : end;
    m_inCdata = !last;
    if (end == begin) {
        if (!last)
            return needMore("a CDATA section");
        m_pos = after;
        return Step::Skipped;
    }
    return textToken(begin, end - begin, false, true, after);
}

XmlScanner::Step XmlScanner::scanDoctype()
{
    const char* d = m_buffer.constData();
    const char* const inside = "the document type declaration";
    QHash<QByteArray, QString> entities;
    qsizetype p = m_pos + 9;
    for (;;) {
        if (p == m_end)
            return needMore(inside);
        const char c = d[p];
        if (c == '"' || c == '\'') {
            if (const Step s = skipQuoted(&p, inside); s != Step::Token)
                return s;
        } else if (c == '[') {
            ++p;
            if (const Step s = scanInternalSubset(&p, &entities); s != Step::Token)
                return s;
        } else if (c == '>') {
            ++p;
            break;
        } else if (c == '<') {
            // No ">" ended it: better said here than after swallowing the root's start tag.
            return fail(p, QStringLiteral("unexpected \"<\" in the document type declaration."));
        } else {
            ++p;
        }
    }
    m_entities = std::move(entities);
    m_doctypeSeen = true;
    m_declarationAllowed = false;
    m_pos = p;
    return Step::Skipped;
}

XmlScanner::Step XmlScanner::scanInternalSubset(qsizetype* at, QHash<QByteArray, QString>* entities)
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    const char* const inside = "the document type declaration";
    qsizetype p = *at;
    for (;;) {
        while (is(d[p], kSpace))
            ++p;
        if (p == m_end)
            return needMore(inside);
        Step s = Step::Token;
        if (d[p] == ']') {
            *at = p + 1;
            return Step::Token;
        }
        if (d[p] == '%') {
            // A parameter entity reference: its declarations are not read.
            s = skipPast(&p, ";", inside);
        } else if (startsAt(p, "<!--") == 1) {
            p += 4;
            s = skipPast(&p, "-->", inside);
        } else if (startsAt(p, "<?") == 1) {
            p += 2;
            s = skipPast(&p, "?>", inside);
        } else if (startsAt(p, "<!ENTITY") == 1) {
            s = scanEntityDeclaration(&p, entities);
        } else if (startsAt(p, "<!") == 1) {
            s = skipDeclaration(&p, inside);
        } else if (startsAt(p, "<!ENTITY") < 0 || startsAt(p, "<!--") < 0) {
            s = needMore(inside);
        } else {
            return fail(p, QStringLiteral("unexpected \"%1\" in the document type declaration.")
                               .arg(QChar::fromLatin1(char(d[p]))));
        }
        if (s != Step::Token)
            return s;
    }
}

XmlScanner::Step XmlScanner::scanEntityDeclaration(qsizetype* at,
                                                   QHash<QByteArray, QString>* entities)
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    const char* const inside = "the document type declaration";
    qsizetype p = *at + 8;
    while (is(d[p], kSpace))
        ++p;
    if (p == m_end)
        return needMore(inside);
    // Parameter entities and external ones are passed over: references to them stay text.
    if (is(d[p], kNameStart) && p > *at + 8) {
        const qsizetype nameBegin = p;
        if (const Step s = scanName(&p, inside); s != Step::Token)
            return s;
        const QByteArray name = view(nameBegin, p - nameBegin).toByteArray();
        while (is(d[p], kSpace))
            ++p;
        if (p == m_end)
            return needMore(inside);
        if (d[p] == '"' || d[p] == '\'') {
            const qsizetype valueBegin = p + 1;
            if (const Step s = skipQuoted(&p, inside); s != Step::Token)
                return s;
            if (m_utf8) {
                if (const Step s = checkUtf8(valueBegin, p - 1); s != Step::Token)
                    return s;
            }
            // The first declaration of a name is the one that counts.
            if (!entities->contains(name)) {
                const QByteArrayView raw = view(valueBegin, p - 1 - valueBegin);
                const QString value =
                    decode(raw, Decode::Text, raw.contains('&'), *entities, kMaxEntityLength + 1);
                if (!m_error.isEmpty())
                    return Step::Failed;
                if (value.size() > kMaxEntityLength)
                    return fail(nameBegin, QStringLiteral("the entity \"%1\" is longer than %2 "
                                                          "characters.")
                                               .arg(QString::fromUtf8(name))
                                               .arg(kMaxEntityLength));
                entities->insert(name, value);
            }
        }
    }
    if (const Step s = skipDeclaration(&p, inside); s != Step::Token)
        return s;
    *at = p;
    return Step::Token;
}

QString XmlScanner::decode(QByteArrayView raw, Decode how, bool hasReference,
                           const QHash<QByteArray, QString>& entities, qsizetype room) const
{
    QString out;
    if (!hasReference || how == Decode::Cdata || how == Decode::Name) {
        appendDecoded(&out, raw, how);
        return out;
    }
    const auto* d = reinterpret_cast<const uchar*>(raw.data());
    qsizetype segment = 0;
    for (qsizetype i = 0; i < raw.size();) {
        const void* amp = std::memchr(raw.data() + i, '&', size_t(raw.size() - i));
        if (!amp)
            break;
        const qsizetype at = static_cast<const char*>(amp) - raw.data();
        const Reference r = parseReference(d + at, d + raw.size(), true);
        i = at + 1;
        if (r.kind != Reference::Character && r.kind != Reference::Named)
            continue;
        const QByteArrayView name = raw.sliced(at + 1, r.length - 2);
        QString replacement;
        const QChar predefined = r.kind == Reference::Named ? predefinedEntity(name) : QChar();
        if (r.kind == Reference::Named && predefined.isNull()) {
            const auto it = entities.constFind(name.toByteArray());
            // Nobody declared it: it stays as written.
            if (it == entities.cend())
                continue;
            replacement = *it;
        }
        appendDecoded(&out, raw.sliced(segment, at - segment), how);
        if (out.size() >= room)
            return out;
        const qsizetype offset = raw.data() - m_buffer.constData() + at;
        if (r.kind == Reference::Named && predefined.isNull() &&
            !mayExpand(replacement.size(), offset, offset + r.length))
            return out;
        if (r.kind == Reference::Character)
            appendCharacter(&out, r.code);
        else if (!predefined.isNull())
            out.append(predefined);
        else
            out.append(replacement);
        segment = i = at + r.length;
    }
    appendDecoded(&out, raw.sliced(segment), how);
    return out;
}

bool XmlScanner::mayExpand(qsizetype length, qsizetype at, qsizetype end) const
{
    if (!m_error.isEmpty())
        return false;
    qint64 bytes = m_dropped + end;
    if (m_transcoder)
        bytes /= 3;
    if (m_expanded + length <= kEntityAmplification * bytes + kEntityAllowance) {
        m_expanded += length;
        return true;
    }
    failLater(at, QStringLiteral("the entity text expanded in this document passes %1 times its "
                                 "size plus %2.")
                      .arg(kEntityAmplification)
                      .arg(sizeText(kEntityAllowance)));
    return false;
}

void XmlScanner::appendDecoded(QString* out, QByteArrayView raw, Decode how) const
{
    if (raw.isEmpty())
        return;
    const qsizetype from = out->size();
    if (m_utf8) {
        // QString::fromUtf8() drops a byte order mark at the start; in a value it is text.
        while (raw.startsWith("\xEF\xBB\xBF")) {
            out->append(QChar(0xFEFF));
            raw = raw.sliced(3);
        }
        out->append(QString::fromUtf8(raw));
    } else {
        out->append(QString(m_decoder(raw)));
    }
    if (how == Decode::Name)
        return;
    const auto has = [raw](char c) { return std::memchr(raw.data(), c, size_t(raw.size())); };
    // Line ends are "\n", as XML has them; in an attribute value every line end and tab is a
    // space.
    if (has('\r')) {
        QChar* const begin = out->data();
        qsizetype w = from;
        for (qsizetype r = from; r < out->size(); ++r) {
            if (begin[r] == u'\r' && r + 1 < out->size() && begin[r + 1] == u'\n')
                continue;
            begin[w++] = begin[r] == u'\r' ? QChar(u'\n') : begin[r];
        }
        out->truncate(w);
    }
    if (how == Decode::Attribute && (has('\t') || has('\n') || has('\r'))) {
        for (qsizetype i = from; i < out->size(); ++i) {
            if (out->at(i) == u'\t' || out->at(i) == u'\n')
                (*out)[i] = u' ';
        }
    }
    // A NUL has no place in XML, and none in a title: it is dropped, once the line ends are
    // known, so that a line end is the same whichever reads split the text.
    if (has('\0')) {
        QChar* const begin = out->data();
        qsizetype w = from;
        for (qsizetype r = from; r < out->size(); ++r) {
            if (!begin[r].isNull())
                begin[w++] = begin[r];
        }
        out->truncate(w);
    }
}
