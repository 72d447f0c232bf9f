// What comes before the root element: the byte order mark and the XML declaration with its
// encoding, and the document type declaration with the entities of its internal subset.

#include "portal/xmlscanner.h"

#include "portal/xmlbytes.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>

using namespace xmlbytes;

namespace {

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

} // namespace

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
