// Listings made to cost the portal memory or time: entities expanded over and over, elements
// nested without end, markup and titles of megabytes, a tag of countless attributes. Each is
// read in little memory and ends in listings with the title cut, or in an error that names the
// limit and the line.

#include "portal/programtext.h"
#include "portal/xmllimits.h"
#include "portal/xmltvreader.h"
#include "support/repeatdevice.h"

#include <QFile>
#include <QTest>

namespace {

// Far above the 2 MiB of markup and the 64 KiB of text the scanner holds at most, far below
// what any of these inputs takes when held whole.
constexpr qint64 kMemoryBound = 64 << 20;

// The process's peak resident memory in bytes; reset to the present where the kernel allows,
// so that an earlier row's peak does not hide this one's.
qint64 peakMemory(bool reset = false)
{
    if (reset) {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
    }
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

constexpr qint64 kPiece = 32 * 1024;

const QByteArray kProlog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
// One entity of 1 KiB.
const QByteArray kDoctype = "<!DOCTYPE tv [<!ENTITY e \"" + QByteArray(1024, 'x') + "\">]>\n";
const QByteArray kChannel = "<tv>\n<channel id=\"c\"><display-name>C</display-name></channel>\n";
const QByteArray kProgramme = "<programme start=\"20261208200000 +0100\" channel=\"c\">";
const QByteArray kEnd = "</programme>\n</tv>\n";

const QString kEntityLimit = QStringLiteral(
    "the entity text expanded in this document passes 10 times its size plus 1 MiB.");

// Attribute names of three characters, all different.
QByteArray attributeName(int i)
{
    static const QByteArray letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    static const QByteArray more = letters + "0123456789";
    return QByteArray(1, letters[i / (62 * 62)]) + more[i / 62 % 62] + more[i % 62];
}

} // namespace

class TestXmlLimits : public QObject {
    Q_OBJECT

private slots:
    void hostileListings_data()
    {
        // The listings are head, count times middle, tail.
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("middle");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("error"); // empty: read
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("title");

        const QByteArray title = kProgramme + "<title>";
        QTest::newRow("entity in a title 100,000 times: cut")
            << kProlog + kDoctype + kChannel + title << QByteArray("&e;") << qint64(100'000)
            << "</title>" + kEnd << QString() << 0 << QString(xmllimits::kMaxElementText, u'x');
        QTest::newRow("entity in a start time 100,000 times")
            << kProlog + kDoctype + kChannel + "<programme channel=\"c\" start=\""
            << QByteArray("&e;") << qint64(100'000) << "\"><title>T</title>" + kEnd << kEntityLimit
            << 5 << QString();
        QTest::newRow("entity in display names, 64 times in each")
            << kProlog + kDoctype + "<tv>\n<channel id=\"c\">\n"
            << "<display-name>" + QByteArray("&e;").repeated(64) + "</display-name>\n"
            << qint64(1000) << QByteArray("</channel>\n</tv>\n") << kEntityLimit << 21 << QString();
        QByteArray declarations;
        for (int i = 0; i < 10'000; ++i)
            declarations += "<!ENTITY e" + QByteArray::number(i) + " \"&e;\">";
        QTest::newRow("entities declared from an entity")
            << kProlog + kDoctype.chopped(3) + declarations + "]>\n" + kChannel + title
            << QByteArray() << qint64(0) << "T</title>" + kEnd << kEntityLimit << 2 << QString();

        const QByteArray titled = kProgramme + "<title>T</title>\n";
        QTest::newRow("65 elements deep") << kProlog + kChannel + titled << QByteArray("<x>")
                                          << qint64(63) << QByteArray("</x>").repeated(63) + kEnd
                                          << "elements nested more than 64 deep." << 5 << QString();
        QTest::newRow("64 elements deep")
            << kProlog + kChannel + titled << QByteArray("<x>") << qint64(62)
            << QByteArray("</x>").repeated(62) + kEnd << QString() << 0 << "T";

        const QByteArray kib(1024, 'k');
        const QByteArray after = "<title>T</title>" + kEnd;
        QTest::newRow("a comment just under 1 MiB")
            << kProlog + kChannel + "<!--" << kib << qint64(1020)
            << "-->" + title + "T</title>" + kEnd << QString() << 0 << "T";
        QTest::newRow("a comment of 1 MiB") << kProlog + kChannel + "<!--" << kib << qint64(1024)
                                            << "-->" + title + "T</title>" + kEnd
                                            << "a comment longer than 1 MiB." << 4 << QString();
        QTest::newRow("an attribute value of 1 MiB")
            << kProlog + kChannel + "<programme x=\"" << kib << qint64(1024)
            << "\" start=\"20261208200000\" channel=\"c\">" + after << "a tag longer than 1 MiB."
            << 4 << QString();
        QTest::newRow("a name of 1 MiB")
            << kProlog + kChannel + "<n" << kib << qint64(1024) << "/>" + title + "T</title>" + kEnd
            << "a tag longer than 1 MiB." << 4 << QString();
        QTest::newRow("a processing instruction of 1 MiB")
            << kProlog + kChannel + "<?pi " << kib << qint64(1024)
            << "?>" + title + "T</title>" + kEnd << "a processing instruction longer than 1 MiB."
            << 4 << QString();
        QTest::newRow("an internal subset of 1 MiB")
            << kProlog + "<!DOCTYPE tv [<!-- " << kib << qint64(1024)
            << " -->]>\n" + kChannel + title + "T</title>" + kEnd
            << "the document type declaration longer than 1 MiB." << 2 << QString();

        // 80 MB. The cut falls between the two halves of a surrogate pair, and is made before
        // it.
        const QByteArray emoji = "\xF0\x9F\x98\x80x";
        const QString cut = QString::fromUtf8(emoji).repeated(xmllimits::kMaxElementText / 3);
        QTest::newRow("a title of 80 MB: cut")
            << kProlog + kChannel + title << emoji << qint64(16'000'000) << "</title>" + kEnd
            << QString() << 0 << cut;
        QTest::newRow("a CDATA title of 80 MB: cut")
            << kProlog + kChannel + title + "<![CDATA[" << emoji << qint64(16'000'000)
            << "]]></title>" + kEnd << QString() << 0 << cut;

        QByteArray attributes = "<programme";
        for (int i = 0; i < 140'000; ++i)
            attributes += " " + attributeName(i) + "=''";
        QTest::newRow("140,000 attributes, one of them twice")
            << kProlog + kChannel + attributes + " AAA=''" << QByteArray() << qint64(0)
            << ">" + after << "attribute \"AAA\" is given twice in <programme>." << 4 << QString();
    }

    void hostileListings()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, middle);
        QFETCH(qint64, count);
        QFETCH(QByteArray, tail);
        QFETCH(QString, error);
        QFETCH(int, line);
        QFETCH(QString, title);
        // In pieces, as a pipe gives them: markup is scanned again as each one comes, which
        // made the check for a repeated attribute take minutes on the tag of 140,000.
        RepeatDevice device(head, middle, count, tail, kPiece);
        const qint64 before = peakMemory(true);
        QString message;
        const std::optional<Listings> listings = readXmltv(&device, "hostile.xml", "pl", &message);
        const qint64 grown = peakMemory() - before;
        if (error.isEmpty()) {
            QVERIFY2(listings, qPrintable(message));
            QCOMPARE(listings->channel("c")->programmes.value(0).title, programText(title));
        } else {
            QVERIFY(!listings);
            QCOMPARE(message,
                     QStringLiteral("Cannot read listings file \"hostile.xml\", line %1: %2")
                         .arg(line)
                         .arg(error));
        }
        QVERIFY2(grown < kMemoryBound, qPrintable(QString::number(grown >> 20) + " MiB"));
    }
};

QTEST_GUILESS_MAIN(TestXmlLimits)

#include "tst_xml_limits.moc"
