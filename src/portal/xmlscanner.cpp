// The scanner's tokens: text, CDATA sections, comments and processing instructions, and the
// reading and keeping of the bytes they are made of. Tags are in xmltags.cpp, the prolog, the
// document type declaration and the encodings in xmlprolog.cpp, values in xmldecode.cpp.

#include "portal/xmlscanner.h"

#include "portal/xmlbytes.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>
#include <string_view>

using namespace xmlbytes;

namespace {

// A tag's attributes beyond this leave no room kept for the next tag.
constexpr size_t kAttributesKept = 1024;

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
