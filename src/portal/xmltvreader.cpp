#include "portal/xmltvreader.h"

#include "portal/programtext.h"
#include "portal/xmltvtime.h"

#include <QFile>
#include <QLocale>
#include <QXmlStreamReader>

namespace {

// A star rating of at least this part of its scale makes a programme a hit.
constexpr double kHitRating = 0.8;

// The first text of the given language among several; else the first one.
class TextChoice {
public:
    void offer(const QString& text, QStringView lang)
    {
        if (!m_any || (!m_preferred && lang == u"pl")) {
            m_text = text;
            m_any = true;
            m_preferred = lang == u"pl";
        }
    }
    bool any() const { return m_any; }
    const QString& text() const { return m_text; }

private:
    QString m_text;
    bool m_any = false;
    bool m_preferred = false;
};

// "4/5", "8.5 / 10": true when it is at least kHitRating of the scale.
bool isHitRating(const QString& value)
{
    const QStringList parts = value.split(u'/');
    if (parts.size() != 2)
        return false;
    bool okValue = false;
    bool okScale = false;
    const double stars = QLocale::c().toDouble(parts[0].trimmed(), &okValue);
    const double scale = QLocale::c().toDouble(parts[1].trimmed(), &okScale);
    return okValue && okScale && scale > 0 && stars / scale >= kHitRating;
}

class Reader {
public:
    Reader(const QString& fileName, QIODevice* device) : m_fileName(fileName), m_xml(device) {}

    std::optional<Listings> read(QString* error)
    {
        if (m_xml.readNextStartElement()) {
            if (m_xml.name() != u"tv")
                fail(m_xml.lineNumber(),
                     QStringLiteral("the root element is <%1>, not <tv>.").arg(m_xml.name()));
            while (m_error.isEmpty() && m_xml.readNextStartElement()) {
                if (m_xml.name() == u"channel")
                    readChannel();
                else if (m_xml.name() == u"programme")
                    readProgramme();
                else
                    m_xml.skipCurrentElement();
            }
        }
        if (m_error.isEmpty() && m_xml.hasError())
            fail(m_xml.lineNumber(), m_xml.errorString());
        if (!m_error.isEmpty()) {
            if (error)
                *error = m_error;
            return std::nullopt;
        }
        m_listings.finish();
        return std::move(m_listings);
    }

private:
    void fail(qint64 line, const QString& what)
    {
        if (m_error.isEmpty())
            m_error = QStringLiteral("Cannot read listings file \"%1\", line %2: %3")
                          .arg(m_fileName)
                          .arg(line)
                          .arg(what);
    }

    void readChannel()
    {
        const qint64 line = m_xml.lineNumber();
        const QString id = m_xml.attributes().value(QLatin1String("id")).toString().trimmed();
        if (id.isEmpty())
            return fail(line, QStringLiteral("a <channel> without an id."));
        TextChoice name;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"display-name") {
                const QString lang = m_xml.attributes().value(QLatin1String("lang")).toString();
                name.offer(m_xml.readElementText(), lang);
            } else {
                m_xml.skipCurrentElement();
            }
        }
        m_listings.addChannel(id, programText(name.any() ? name.text() : id));
    }

    void readProgramme()
    {
        const qint64 line = m_xml.lineNumber();
        const QXmlStreamAttributes attributes = m_xml.attributes();
        const QString channel = attributes.value(QLatin1String("channel")).toString().trimmed();
        if (channel.isEmpty())
            return fail(line, QStringLiteral("a <programme> without a channel."));
        if (!attributes.hasAttribute(QLatin1String("start")))
            return fail(line, QStringLiteral("a <programme> without a start time."));

        Programme programme;
        programme.line = static_cast<int>(line);
        programme.id = ++m_programmes;
        const QString start = attributes.value(QLatin1String("start")).toString();
        const std::optional<qint64> startTime = parseXmltvTime(start);
        if (!startTime)
            return fail(line, QStringLiteral("the start time \"%1\" is not an XMLTV time "
                                             "(YYYYMMDDhhmmss +hhmm).")
                                  .arg(start));
        programme.start = *startTime;
        if (attributes.hasAttribute(QLatin1String("stop"))) {
            const QString stop = attributes.value(QLatin1String("stop")).toString();
            programme.stop = parseXmltvTime(stop);
            if (!programme.stop)
                return fail(line, QStringLiteral("the stop time \"%1\" is not an XMLTV time "
                                                 "(YYYYMMDDhhmmss +hhmm).")
                                      .arg(stop));
            if (*programme.stop < programme.start)
                return fail(line, QStringLiteral("the programme stops (%1) before it starts (%2).")
                                      .arg(stop, start));
        }

        TextChoice title;
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() == u"title") {
                const QString lang = m_xml.attributes().value(QLatin1String("lang")).toString();
                title.offer(m_xml.readElementText(), lang);
            } else if (m_xml.name() == u"star-rating") {
                readStarRating(&programme);
            } else {
                m_xml.skipCurrentElement();
            }
        }
        if (m_xml.hasError())
            return;
        if (!title.any())
            return fail(line, QStringLiteral("a <programme> without a <title>."));
        programme.title = programText(title.text());
        if (programme.title.isEmpty())
            programme.title = programText(QStringLiteral("(bez tytułu)"));
        m_listings.addProgramme(channel, programme);
    }

    void readStarRating(Programme* programme)
    {
        while (m_xml.readNextStartElement()) {
            if (m_xml.name() != u"value")
                m_xml.skipCurrentElement();
            else if (isHitRating(m_xml.readElementText()))
                programme->hit = true;
        }
    }

    QString m_fileName;
    QXmlStreamReader m_xml;
    Listings m_listings;
    QString m_error;
    int m_programmes = 0;
};

} // namespace

std::optional<Listings> readXmltv(const QString& fileName, QString* error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open listings file \"%1\": %2")
                         .arg(fileName, file.errorString());
        return std::nullopt;
    }
    Reader reader(fileName, &file);
    return reader.read(error);
}
