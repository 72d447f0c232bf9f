// Any bytes to the portal's XML scanner and to QXmlStreamReader. Where Qt finds well-formed XML,
// the scanner does too, with the same elements, attributes and text, whether it gets the bytes
// whole or a few at a time. The scanner is laxer than Qt in places (an "&" that starts no
// reference, control characters, names of any bytes above ASCII): there only Qt fails. It is
// stricter in one: elements nest at most 64 deep.
// Documents declaring entities or attribute lists, where Qt puts their markup and default
// values into the document and the scanner does not, and documents with a NUL are read by the
// scanner alone, whole and a few bytes at a time alike. Names XML does not allow but Qt takes
// are left out. However many times a document references its entities, the text the scanner
// hands out stays within a bound linear in the document's size.

#include "fuzzsupport.h"
#include "portal/xmllimits.h"
#include "portal/xmlscanner.h"
#include "support/piecedevice.h"

#include <QBuffer>
#include <QList>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

struct Event {
    XmlScanner::Token token;
    QString text;                         // the name, or the text
    QList<std::optional<QString>> values; // of the attributes, in Qt's order
    bool operator==(const Event&) const = default;
};

// Adds a piece of text to the events: texts between two tags are one, empty ones none.
void addText(QList<Event>* events, const QString& text)
{
    if (text.isEmpty())
        return;
    if (!events->isEmpty() && events->last().token == XmlScanner::Token::Text)
        events->last().text += text;
    else
        events->append({XmlScanner::Token::Text, text, {}});
}

// Qt takes some ASCII characters in names that XML does not allow, "`", "{" and controls among
// them; the scanner refuses them.
bool isXmlName(const QString& name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool letter =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!letter && (i == 0 || !other))
            return false;
    }
    return !name.isEmpty();
}

// The scanner is asked for an attribute by its name's bytes as written; of a name beyond ASCII
// they depend on the encoding, so such values are not compared.
bool isAscii(const QString& name)
{
    return std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

const QString kUnlooked = QStringLiteral("(not looked up)");

// The characters of names, texts and values a document of that many bytes may have handed
// out: the entity text xmllimits allows, and the document's own, at most a character a byte
// but for the name of an empty-element tag, which both its start and its end give.
constexpr qint64 kOwnTextPerByte = 2;
qint64 handedOutBound(qint64 bytes)
{
    return (xmllimits::kEntityAmplification + kOwnTextPerByte) * bytes +
           xmllimits::kEntityAllowance;
}

// The names before an "=" in the bytes, the attribute names of a document Qt cannot tell.
QStringList attributeNamesIn(const QByteArray& bytes)
{
    // Enough to find any fault; more would only slow every input down.
    constexpr qsizetype kMaxNames = 16;
    QStringList names;
    for (qsizetype at = bytes.indexOf('='); at > 0 && names.size() < kMaxNames;
         at = bytes.indexOf('=', at + 1)) {
        qsizetype end = at;
        while (end > 0 && (bytes[end - 1] == ' ' || bytes[end - 1] == '\t' ||
                           bytes[end - 1] == '\n' || bytes[end - 1] == '\r'))
            --end;
        qsizetype begin = end;
        while (begin > 0 && uchar(bytes[begin - 1]) > ' ' && bytes[begin - 1] != '<' &&
               bytes[begin - 1] != '"' && bytes[begin - 1] != '\'' &&
               uchar(bytes[begin - 1]) < 0x80)
            --begin;
        const QString name = QString::fromLatin1(bytes.mid(begin, end - begin));
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names;
}

// Qt keeps a lone surrogate of UTF-16 input; the scanner, turning the input into UTF-8, makes
// it a replacement character.
QString withoutLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

// Qt's reading, with the names of each start tag's attributes; nullopt when Qt finds the bytes
// not well-formed.
std::optional<QList<Event>> qtEvents(const QByteArray& bytes, QList<QStringList>* names)
{
    QXmlStreamReader xml(bytes);
    xml.setNamespaceProcessing(false);
    QList<Event> events;
    int depth = 0;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            ++depth;
            Event e{XmlScanner::Token::StartElement,
                    withoutLoneSurrogates(xml.qualifiedName().toString()),
                    {}};
            if (!isXmlName(e.text))
                return std::nullopt;
            QStringList attributeNames;
            for (const QXmlStreamAttribute& a : xml.attributes()) {
                attributeNames.append(a.qualifiedName().toString());
                if (!isXmlName(attributeNames.last()))
                    return std::nullopt;
                e.values.append(isAscii(attributeNames.last())
                                    ? withoutLoneSurrogates(a.value().toString())
                                    : kUnlooked);
            }
            names->append(attributeNames);
            events.append(e);
            break;
        }
        case QXmlStreamReader::EndElement:
            --depth;
            events.append({XmlScanner::Token::EndElement,
                           withoutLoneSurrogates(xml.qualifiedName().toString()),
                           {}});
            break;
        case QXmlStreamReader::Characters:
            // Outside the root element only white space, which the scanner does not give.
            if (depth > 0)
                addText(&events, withoutLoneSurrogates(xml.text().toString()));
            break;
        case QXmlStreamReader::ProcessingInstruction:
            if (!isXmlName(xml.processingInstructionTarget().toString()))
                return std::nullopt;
            break;
        case QXmlStreamReader::EntityReference:
            // Not declared (the document has a DTD Qt does not read): kept as written.
            addText(&events, u'&' + withoutLoneSurrogates(xml.name().toString()) + u';');
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return events;
}

// The scanner's reading, looking up the attributes Qt names for each start tag, or the same
// ones on every start tag; nullopt on an error. Checks the bound on what it hands out.
std::optional<QList<Event>> scannerEvents(QIODevice* device, const QList<QStringList>& names,
                                          QString* error, const QStringList& everyTag = {},
                                          qint64 bytes = 0)
{
    XmlScanner xml(device);
    QList<Event> events;
    qsizetype starts = 0;
    qint64 handedOut = 0;
    const auto handOut = [&handedOut, bytes](const QString& text) {
        handedOut += text.size();
        FUZZ_CHECK(handedOut <= handedOutBound(bytes));
        return text;
    };
    for (;;) {
        const XmlScanner::Token token = xml.next();
        switch (token) {
        case XmlScanner::Token::StartElement: {
            FUZZ_CHECK(xml.lineNumber() >= 1);
            Event e{token, handOut(xml.nameString()), {}};
            for (const QString& name : names.value(starts++) + everyTag) {
                std::optional<QString> value = kUnlooked;
                if (isAscii(name)) {
                    value = xml.attribute(name.toLatin1());
                    handOut(value.value_or(QString()));
                }
                e.values.append(value);
            }
            events.append(e);
            break;
        }
        case XmlScanner::Token::EndElement:
            events.append({token, handOut(xml.nameString()), {}});
            break;
        case XmlScanner::Token::Text:
            addText(&events, handOut(xml.text()));
            break;
        case XmlScanner::Token::EndOfDocument:
            return events;
        case XmlScanner::Token::Invalid:
            FUZZ_CHECK(xml.lineNumber() >= 1 && !xml.errorString().isEmpty());
            *error = xml.errorString();
            return std::nullopt;
        }
    }
}

// The scanner alone: the same events or the same error whole and a few bytes at a time.
void checkAlone(QByteArray bytes)
{
    const QStringList names = attributeNamesIn(bytes);
    QBuffer whole(&bytes);
    whole.open(QIODevice::ReadOnly);
    PieceDevice trickled(bytes);
    QString wholeError;
    QString trickledError;
    FUZZ_CHECK(scannerEvents(&whole, {}, &wholeError, names, bytes.size()) ==
               scannerEvents(&trickled, {}, &trickledError, names, bytes.size()));
    FUZZ_CHECK(wholeError == trickledError);
}

// Qt drops the bytes of an unfinished character at the very end, even after the root element.
bool endsInBrokenCharacter(const QByteArray& bytes)
{
    const QByteArray tail = bytes.mid(bytes.lastIndexOf('>') + 1);
    return std::any_of(tail.cbegin(), tail.cend(), [](char c) { return uchar(c) >= 0x80; });
}

// Qt reads the digits of "&#x0x41;" as a C-style hexadecimal number, where XML allows hex digits
// only.
bool hasCStyleHexReference(const QByteArray& bytes)
{
    return bytes.contains("&#x0x") || bytes.contains("&#x0X");
}

// Qt nests elements as deep as they come; the scanner ends past its limit.
bool nestsTooDeep(const QList<Event>& events)
{
    int depth = 0;
    for (const Event& e : events) {
        if (e.token == XmlScanner::Token::StartElement && ++depth > xmllimits::kMaxDepth)
            return true;
        if (e.token == XmlScanner::Token::EndElement)
            --depth;
    }
    return false;
}

void checkScanner(QIODevice* device, const QByteArray& bytes, const QList<Event>& expected,
                  const QList<QStringList>& names)
{
    QString error;
    const std::optional<QList<Event>> events =
        scannerEvents(device, names, &error, {}, bytes.size());
    // Qt reads an encoding whose markup is not plain ASCII, such as UTF-7, which the scanner
    // refuses; and takes a document type declaration inside the root element, bytes after it,
    // and character references in C's hexadecimal notation, which XML does not allow.
    if (!events &&
        (error.startsWith(QStringLiteral("the declared encoding")) ||
         (error.startsWith(QStringLiteral("a malformed character reference")) &&
          hasCStyleHexReference(bytes)) ||
         error.startsWith(QStringLiteral("a document type declaration")) ||
         (error.startsWith(QStringLiteral("text after the root element")) &&
          endsInBrokenCharacter(bytes)) ||
         (error.startsWith(QStringLiteral("elements nested more than")) && nestsTooDeep(expected))))
        return;
    FUZZ_CHECK(events.has_value());
    FUZZ_CHECK(*events == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // XML has no NUL. Qt cuts an attribute value at one and drops one in text, and takes a
    // document that starts "<" in UTF-16 for UTF-16 without a byte order mark (which XML
    // requires of UTF-16); the scanner drops every NUL.
    if (bytes.contains("<!ENTITY") || bytes.contains("<!ATTLIST") || bytes.contains('\0')) {
        checkAlone(bytes);
        return 0;
    }
    QList<QStringList> names;
    const std::optional<QList<Event>> expected = qtEvents(bytes, &names);
    if (!expected)
        return 0;
    QBuffer whole(&bytes);
    whole.open(QIODevice::ReadOnly);
    checkScanner(&whole, bytes, *expected, names);
    PieceDevice trickled(bytes);
    checkScanner(&trickled, bytes, *expected, names);
    return 0;
}
