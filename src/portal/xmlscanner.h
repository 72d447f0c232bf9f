#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <limits>
#include <optional>
#include <string>
#include <vector>

class QIODevice;

// A pull scanner of XML over the bytes of a device, read in chunks: the start and end of each
// element and the text between, with the line each starts on. It holds the chunk at hand and
// the token being scanned, never the whole input, and decodes a name or value only when asked,
// so whatever a reader passes over costs little more than one look at each byte.
//
// The document is UTF-8 unless its XML declaration names another encoding whose markup is
// ASCII. Encodings of one byte per character (ISO-8859-x, windows-125x) are decoded value by
// value as asked for; other encodings, and UTF-16 with a byte order mark, are turned into UTF-8
// as read. Comments,
// processing instructions and the document type declaration are passed over, keeping the
// simple entities its internal subset declares. A reference to an entity nobody declared stays
// in the text as written, as does an "&" that starts no reference at all.
//
// Anything not well-formed ends the scanning with an error and its line, and so does going
// past one of the limits of xmllimits.h: on depth, on any piece of markup held whole, and on
// the entity text expanded in the document. Text, CDATA sections included, comes in pieces
// and is never held whole.
class XmlScanner {
public:
    enum class Token { StartElement, EndElement, Text, EndOfDocument, Invalid };

    // Reads from the device, which must be open, from where it is.
    explicit XmlScanner(QIODevice* device);

    // Scans the next token. An empty-element tag gives a start and an end token. The text of
    // an element may come in several tokens (CDATA sections, comments and long texts split
    // it). EndOfDocument once the root element and whatever follows it are read; after an
    // error, Invalid. Both stay.
    Token next();
    Token token() const { return m_token; }

    // The line the current token starts on, from 1; after an error, the line of the error.
    qint64 lineNumber() const;

    // A start or end token's element name as written, valid until next().
    QByteArrayView name() const { return view(m_nameBegin, m_nameLength); }
    QString nameString() const;
    // A start token's attribute value with its references resolved; nullopt when it has none.
    // Each call expands its entities again, and counts them again.
    std::optional<QString> attribute(QByteArrayView name) const;
    // A text token's text with its references resolved.
    QString text() const;
    // An expansion past the document's entity limit cuts the value short there and is an
    // error at once (hasError()); the next next() is Invalid.

    // On a start token: passes over the rest of the element, its end included.
    void skipElement();
    // On a start token: the element's text, its children's included, up to and including its
    // end; cut to xmllimits::kMaxElementText characters, never within a surrogate pair.
    QString readElementText();

    bool hasError() const { return m_token == Token::Invalid || !m_error.isEmpty(); }
    const QString& errorString() const { return m_error; }

private:
    enum class Step { Token, Skipped, More, Failed };
    enum class Decode { Text, Cdata, Attribute, Name };
    struct Attribute {
        qsizetype nameBegin;
        qsizetype nameLength;
        qsizetype valueBegin;
        qsizetype valueLength;
        bool hasReference;
    };

    QByteArrayView view(qsizetype begin, qsizetype length) const
    {
        return QByteArrayView(m_buffer.constData() + begin, length);
    }
    // The innermost open element's name.
    QByteArrayView openName() const
    {
        return QByteArrayView(m_openNames.data(), qsizetype(m_openNames.size()))
            .sliced(m_openStarts.back());
    }

    bool refill();
    bool readMore(qsizetype wanted);
    bool detectEncoding();
    QByteArray transcode(QByteArrayView raw);
    qint64 lineAt(qsizetype offset) const;
    Step fail(qsizetype offset, const QString& what);
    Step needMore(const char* inside);
    // The markup being scanned is longer than the limit.
    void tooLong();
    // Whether the bytes at `at` are the text: 1 yes, 0 no, -1 not known before more is read.
    int startsAt(qsizetype at, QByteArrayView text) const;
    // Records an error found while decoding; next() then ends in Invalid.
    void failLater(qsizetype offset, const QString& what) const;
    // May an entity's text of that length be expanded for the reference at [at, end)? Counts
    // it if so; else records the error.
    bool mayExpand(qsizetype length, qsizetype at, qsizetype end) const;

    Step scanToken();
    Step scanText();
    Step scanStartTag();
    Step scanEndTag();
    Step scanProcessingInstruction();
    Step scanMarkupDeclaration();
    Step scanCdata();
    // Makes the current token the text of [begin, begin + length); scanning goes on at next.
    Step textToken(qsizetype begin, qsizetype length, bool hasReference, bool verbatim,
                   qsizetype next);
    Step scanDoctype();
    Step scanInternalSubset(qsizetype* at, QHash<QByteArray, QString>* entities);
    Step scanEntityDeclaration(qsizetype* at, QHash<QByteArray, QString>* entities);
    Step scanXmlDeclaration(qsizetype contentBegin, qsizetype contentEnd, qsizetype after);
    Step scanName(qsizetype* at, const char* inside);
    Step skipQuoted(qsizetype* at, const char* inside);
    Step skipPast(qsizetype* at, QByteArrayView terminator, const char* inside);
    Step skipDeclaration(qsizetype* at, const char* inside);
    // With cut, a sequence that the end cuts short is no error: *cut is set to where it starts
    // (else to end).
    Step checkUtf8(qsizetype begin, qsizetype end, qsizetype* cut = nullptr);
    Step setEncoding(const QByteArray& name, qsizetype after);

    // raw lies in m_buffer. Once the result holds room characters no more references are
    // expanded (the caller cuts it).
    QString decode(QByteArrayView raw, Decode how, bool hasReference,
                   const QHash<QByteArray, QString>& entities,
                   qsizetype room = std::numeric_limits<qsizetype>::max()) const;
    QString textPiece(qsizetype room) const;
    void appendDecoded(QString* out, QByteArrayView raw, Decode how) const;

    QIODevice* m_device;
    QByteArray m_buffer;
    qsizetype m_end = 0;        // bytes of m_buffer read
    qsizetype m_pos = 0;        // where the next token starts
    qsizetype m_tokenStart = 0; // where the current token starts
    qint64 m_dropped = 0;       // bytes scanned before m_buffer's first
    // The markup being scanned, for the message when it is too long; null for text.
    const char* m_holding = nullptr;
    bool m_started = false;
    bool m_eof = false;
    // Input neither UTF-8 nor of one byte per character, turned into UTF-8 as it is read.
    std::optional<QStringDecoder> m_transcoder;
    QStringEncoder m_toUtf8{QStringConverter::Utf8};

    // Lines are counted lazily, when one is asked for, and before bytes are dropped.
    mutable qint64 m_lines = 0;
    mutable qsizetype m_linesCountedTo = 0;

    Token m_token = Token::Text;
    // Also set from the const decoding.
    mutable QString m_error;
    mutable qint64 m_errorLine = 0;
    mutable qint64 m_expanded = 0; // characters of entity text expanded in the document

    bool m_utf8 = true;
    bool m_encodingFixed = false; // by a byte order mark, whatever the declaration says
    mutable QStringDecoder m_decoder;
    QHash<QByteArray, QString> m_entities;

    bool m_declarationAllowed = true;
    bool m_doctypeSeen = false;
    bool m_rootSeen = false;
    bool m_pendingEnd = false;
    bool m_inCdata = false;  // between "<![CDATA[" and "]]>"
    std::string m_openNames; // the names of the open elements, one after another
    std::vector<qsizetype> m_openStarts;

    qsizetype m_nameBegin = 0;
    qsizetype m_nameLength = 0;
    std::vector<Attribute> m_attributes; // cleared for every start tag, freed after a huge one
    qsizetype m_textBegin = 0;
    qsizetype m_textLength = 0;
    bool m_textHasReference = false;
    bool m_textVerbatim = false;
};
