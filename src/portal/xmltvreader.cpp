#include "portal/xmltvreader.h"

#include "portal/programtext.h"
#include "portal/xmlscanner.h"
#include "portal/xmltvtime.h"

#include <QFile>
#include <charconv>

namespace {

// A star rating of at least this part of its scale makes a programme a hit.
constexpr double kHitRating = 0.8;

// "pl" of "pl-PL" or "pl_PL".
QStringView primaryLanguage(QStringView tag)
{
    tag = tag.trimmed();
    for (qsizetype i = 0; i < tag.size(); ++i) {
        if (tag[i] == u'-' || tag[i] == u'_')
            return tag.first(i);
    }
    return tag;
}

// The first text in the wanted language among several; else the first one.
class TextChoice {
public:
    // Would a text of this language be taken? Then read it and offer it.
    bool wants(bool inLanguage) const { return !m_any || (inLanguage && !m_preferred); }
    void offer(const QString& text, bool inLanguage)
    {
        if (wants(inLanguage)) {
            m_text = text;
            m_any = true;
            m_preferred = inLanguage;
        }
    }
    bool any() const { return m_any; }
    const QString& text() const { return m_text; }

private:
    QString m_text;
    bool m_any = false;
    bool m_preferred = false;
};

// "4", "+8.5", "1e1": a number as C writes it. Read once for every programme, so not through
// QLocale, which takes many times as long.
std::optional<double> parseNumber(QStringView text)
{
    text = text.trimmed();
    if (text.startsWith(u'+'))
        text = text.sliced(1);
    char ascii[64];
    if (text.isEmpty() || text.size() > qsizetype(sizeof ascii))
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 0x7F)
            return std::nullopt;
        ascii[i] = char(text[i].unicode());
    }
    double value = 0;
    const char* const end = ascii + text.size();
    const std::from_chars_result result = std::from_chars(ascii, end, value);
    if (result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

// "4/5", "8.5 / 10": true when it is at least kHitRating of the scale.
bool isHitRating(QStringView value)
{
    const qsizetype slash = value.indexOf(u'/');
    if (slash < 0 || value.indexOf(u'/', slash + 1) >= 0)
        return false;
    const std::optional<double> stars = parseNumber(value.first(slash));
    const std::optional<double> scale = parseNumber(value.sliced(slash + 1));
    return stars && scale && *scale > 0 && *stars / *scale >= kHitRating;
}

class Reader {
public:
    Reader(QIODevice* device, const QString& sourceName, const QString& lang)
        : m_sourceName(sourceName), m_lang(primaryLanguage(lang).toString()), m_xml(device)
    {
    }

    std::optional<Listings> read(QString* error, XmltvFault* fault)
    {
        if (m_xml.next() == XmlScanner::Token::StartElement) {
            if (m_xml.name() != "tv")
                fail(m_xml.lineNumber(),
                     QStringLiteral("the root element is <%1>, not <tv>.").arg(m_xml.nameString()),
                     XmltvFault::Kind::NotXmltv);
            else
                readTv();
        }
        // What follows the root element has to be well-formed too.
        while (m_error.isEmpty() && !m_xml.hasError() &&
               m_xml.next() != XmlScanner::Token::EndOfDocument) {
        }
        if (m_error.isEmpty() && m_xml.hasError())
            fail(m_xml.lineNumber(), m_xml.errorString());
        if (!m_error.isEmpty()) {
            if (error)
                *error = m_error;
            if (fault)
                *fault = m_fault;
            return std::nullopt;
        }
        m_listings.finish();
        return std::move(m_listings);
    }

private:
    void fail(qint64 line, const QString& what,
              XmltvFault::Kind kind = XmltvFault::Kind::BrokenXmltv)
    {
        if (!m_error.isEmpty())
            return;
        // A text or value cut short by a limit of the scanner is not what the file says: the
        // limit is the reason.
        const bool limit = m_xml.hasError();
        m_fault = {limit ? XmltvFault::Kind::NotXml : kind, limit ? m_xml.lineNumber() : line,
                   limit ? m_xml.errorString() : what};
        // In one go, so that a "%1" in the name or the message stays as it is.
        m_error = QStringLiteral("Cannot read listings file \"%1\", line %2: %3")
                      .arg(m_sourceName, QString::number(m_fault.line), m_fault.what);
    }

    // programText() of a title: the same few titles come back all week, and the conversion
    // costs more than all the rest of reading a programme.
    QByteArray pageText(const QString& text)
    {
        auto it = m_pageTexts.constFind(text);
        if (it == m_pageTexts.cend())
            it = m_pageTexts.insert(text, programText(text));
        return *it;
    }

    // Moves to the current element's next child; false at the element's end or an error.
    bool nextChild()
    {
        for (;;) {
            switch (m_xml.next()) {
            case XmlScanner::Token::StartElement:
                return true;
            case XmlScanner::Token::Text:
                break;
            default:
                return false;
            }
        }
    }

    bool inLanguage() const
    {
        const std::optional<QString> lang = m_xml.attribute("lang");
        return lang && !m_lang.isEmpty() &&
               primaryLanguage(*lang).compare(m_lang, Qt::CaseInsensitive) == 0;
    }

    void readTv()
    {
        while (m_error.isEmpty() && nextChild()) {
            if (m_xml.name() == "channel")
                readChannel();
            else if (m_xml.name() == "programme")
                readProgramme();
            else
                m_xml.skipElement();
        }
    }

    void readChannel()
    {
        const qint64 line = m_xml.lineNumber();
        const QString id = m_xml.attribute("id").value_or(QString()).trimmed();
        if (id.isEmpty())
            return fail(line, QStringLiteral("a <channel> without an id."));
        QStringList names;
        qsizetype shown = -1;
        bool shownInLanguage = false;
        while (nextChild()) {
            if (m_xml.name() != "display-name") {
                m_xml.skipElement();
                continue;
            }
            const bool preferred = inLanguage();
            const QString name = m_xml.readElementText().trimmed();
            if (name.isEmpty())
                continue;
            if (shown < 0 || (preferred && !shownInLanguage)) {
                shown = names.size();
                shownInLanguage = preferred;
            }
            names.append(name);
        }
        if (m_xml.hasError())
            return;
        m_listings.addChannel(id, programText(shown < 0 ? id : names[shown]), names);
    }

    void readProgramme()
    {
        const qint64 line = m_xml.lineNumber();
        const QString channel = m_xml.attribute("channel").value_or(QString()).trimmed();
        if (channel.isEmpty())
            return fail(line, QStringLiteral("a <programme> without a channel."));
        const std::optional<QString> start = m_xml.attribute("start");
        if (!start)
            return fail(line, QStringLiteral("a <programme> without a start time."));

        Programme programme;
        programme.line = static_cast<int>(line);
        programme.id = ++m_programmes;
        const std::optional<qint64> startTime = parseXmltvTime(*start);
        if (!startTime)
            return fail(line, QStringLiteral("the start time \"%1\" is not an XMLTV time "
                                             "(YYYYMMDDhhmmss +hhmm).")
                                  .arg(*start));
        programme.start = *startTime;
        if (const std::optional<QString> stop = m_xml.attribute("stop")) {
            programme.stop = parseXmltvTime(*stop);
            if (!programme.stop)
                return fail(line, QStringLiteral("the stop time \"%1\" is not an XMLTV time "
                                                 "(YYYYMMDDhhmmss +hhmm).")
                                      .arg(*stop));
            if (*programme.stop < programme.start)
                return fail(line, QStringLiteral("the programme stops (%1) before it starts (%2).")
                                      .arg(*stop, *start));
        }

        TextChoice title;
        while (nextChild()) {
            if (m_xml.name() == "title") {
                // Only a title that would be taken is decoded.
                const bool preferred = inLanguage();
                if (title.wants(preferred))
                    title.offer(m_xml.readElementText(), preferred);
                else
                    m_xml.skipElement();
            } else if (m_xml.name() == "star-rating") {
                readStarRating(&programme);
            } else {
                m_xml.skipElement();
            }
        }
        if (m_xml.hasError())
            return;
        if (!title.any())
            return fail(line, QStringLiteral("a <programme> without a <title>."));
        programme.title = pageText(title.text());
        if (programme.title.isEmpty())
            programme.title = pageText(QStringLiteral("(bez tytułu)"));
        m_listings.addProgramme(channel, programme);
    }

    void readStarRating(Programme* programme)
    {
        while (nextChild()) {
            if (m_xml.name() != "value")
                m_xml.skipElement();
            else if (isHitRating(m_xml.readElementText()))
                programme->hit = true;
        }
    }

    QString m_sourceName;
    QString m_lang;
    XmlScanner m_xml;
    Listings m_listings;
    QString m_error;
    XmltvFault m_fault;
    int m_programmes = 0;
    QHash<QString, QByteArray> m_pageTexts;
};

} // namespace

std::optional<Listings> readXmltv(QIODevice* device, const QString& sourceName, const QString& lang,
                                  QString* error, XmltvFault* fault)
{
    Reader reader(device, sourceName, lang);
    return reader.read(error, fault);
}

std::optional<Listings> readXmltv(const QString& fileName, QString* error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open listings file \"%1\": %2")
                         .arg(fileName, file.errorString());
        return std::nullopt;
    }
    return readXmltv(&file, fileName, QStringLiteral("pl"), error);
}
