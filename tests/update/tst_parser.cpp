#include "portal/listingpage.h"
#include "support/linebreaks.h"
#include "support/pageprogrammetext.h"
#include "support/scratchfolder.h"
#include "text/shorten.h"
#include "text/win1250.h"
#include "update/listingsparser.h"
#include "update/nowplayinglist.h"
#include "update/pagetext.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

namespace {

const QByteArray kStation = "stacja.tv";
const QByteArray kFilm = "<a href=\"javascript:okno(123)\">Film</a>";

// Writes text over page from 1-based position pos.
void put(QByteArray& page, qsizetype pos, const QByteArray& text)
{
    if (!text.isEmpty())
        page.replace(pos - 1, text.size(), text);
}

// A page with "trwa.gif" at 1-based position p, at73 starting 73 characters before it and at148
// 148 characters before it, then tail. The rest of the front is head padded with dots.
QByteArray markedPage(qsizetype p, const QByteArray& at73, const QByteArray& at148,
                      const QByteArray& tail, const QByteArray& head = "<html><body>")
{
    QByteArray page = head.leftJustified(p - 1, '.', true);
    put(page, p - 73, at73);
    put(page, p - 148, at148);
    return page + "trwa.gif" + tail;
}

// A page as the portal writes it, with CR LF breaks: "20:00" 73 characters before the marker
// (three breaks in between), an earlier programme before it and ISO-8859-2 "ś" in the title.
QByteArray portalPage()
{
    QByteArray page =
        "<html>\r\n<body>\r\n<table>\r\n"
        "<tr><td>19:00</td><td><a href=\"javascript:okno(4710)\">Stary</a></td></tr>\r\n"
        "<tr><td>20:00";
    const QByteArray tagStart = "</td>\r\n<td>\r\n";
    const QByteArray imgStart = "<img src=\"";
    page += tagStart + QByteArray(68 - tagStart.size() - imgStart.size(), ' ') + imgStart;
    page += "trwa.gif\"></td>\r\n"
            "<td><a href=\"javascript:okno(4711)\">Wiadomo\xB6"
            "ci</a></td></tr>\r\n"
            "</table>\r\n</body>\r\n</html>\r\n";
    return page;
}

// Turns the CR LF breaks of text into the given breaks, taken in turn.
QByteArray rewriteBreaks(const QByteArray& text, const QList<QByteArray>& breaks)
{
    QByteArray result;
    qsizetype from = 0;
    for (int i = 0;; ++i) {
        const qsizetype at = text.indexOf("\r\n", from);
        if (at < 0)
            break;
        result += text.mid(from, at - from) + breaks[i % breaks.size()];
        from = at + 2;
    }
    return result + text.mid(from);
}

// A straightforward normalisation, one character at a time, to check the fast one against.

// "0123456789012..." of the given length, so a wrong cut shows.
QByteArray digitText(qsizetype length)
{
    QByteArray text;
    for (qsizetype i = 0; i < length; ++i)
        text += char('0' + i % 10);
    return text;
}

QByteArray cp1250(const char* utf8)
{
    const std::optional<QByteArray> bytes = unicodeToWin1250(QString::fromUtf8(utf8));
    if (!bytes)
        qFatal("test text not representable in Windows-1250: %s", utf8);
    return *bytes;
}

void putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

// One programme row as the portal lays it out: on the row on air the time stands 73
// characters before the marker; on a hit row the hit image ends 75 characters after the time,
// so the hit mark stands 73 before the marker and the time 148.
QByteArray programmeRow(const QByteArray& time, const QByteArray& title, bool onAir = false,
                        bool hit = false)
{
    QByteArray row = "<tr><td>" + time;
    if (hit)
        row += QByteArray(" src=\"hit.gif\">").rightJustified(73, ' ') + "</td>  ";
    else
        row += "</td>";
    if (onAir)
        row += QByteArray("<td><img src=\"").rightJustified(63, ' ') + "trwa.gif\">";
    else
        row += "<td>";
    return row + "</td><td><a href=\"javascript:okno(1)\">" + title + "</a></td></tr>\r\n";
}

QByteArray dayPage(const QList<QByteArray>& rows)
{
    return "<html>\r\n<body>\r\n<table>\r\n" + rows.join() + "</table>\r\n</body>\r\n</html>\r\n";
}

} // namespace

class TestParser : public QObject {
    Q_OBJECT

private slots:
    // Every test runs in its own empty working directory, where the program keeps its pages.
    void init()
    {
        m_dir = std::make_unique<ScratchFolder>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup() { m_dir.reset(); }

    void stripTags_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");

        QTest::addRow("empty") << QByteArray() << QByteArray();
        QTest::addRow("text passes unchanged")
            << QByteArray("  Fakty &amp; \"sport\"  ") << QByteArray("  Fakty &amp; \"sport\"  ");
        QTest::addRow("anchor") << kFilm << QByteArray("Film");
        QTest::addRow("nested tags")
            << QByteArray("<a href=\"javascript:okno(1)\"><b>Fakty</b> extra</a>")
            << QByteArray("Fakty extra");
        QTest::addRow("tag inside a tag vanishes whole")
            << QByteArray("<a <b> c>d") << QByteArray("d");
        QTest::addRow("unclosed tag") << QByteArray("x<y z") << QByteArray("x");
        QTest::addRow("stray > hides up to the next <")
            << QByteArray("a>b<c") << QByteArray("a><c");
        QTest::addRow("two stray >") << QByteArray("a>>b<c<d") << QByteArray("a><d");
        QTest::addRow("> then <") << QByteArray("><") << QByteArray("><");

        // Depths and lengths past what 8-bit and 16-bit counters hold.
        QTest::addRow("depth 200 then closed")
            << QByteArray(200, '<') + QByteArray(200, '>') + "x" << QByteArray("x");
        QTest::addRow("100 000 open tags") << QByteArray(100000, '<') + "text" << QByteArray();
        QTest::addRow("100 000 open and closed")
            << QByteArray(100000, '<') + QByteArray(100000, '>') + "tail" << QByteArray("tail");
        QTest::addRow("70 000 characters before a tag")
            << QByteArray(70000, 'x') + "<b>y</b>z" << QByteArray(70000, 'x') + "yz";
        QTest::addRow("70 000 characters after a stray >")
            << ">" + QByteArray(70000, 'x') + "<end" << QByteArray("><end");
    }

    void stripTags()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QCOMPARE(StripTags(input), expected);
    }

    // The six ISO-8859-2 letters and "|" move; every other byte value, the zero byte
    // included, stays.
    void fixPageCharsetCases()
    {
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all += char(i);
        QByteArray fixed = all;
        fixed['|'] = '\x8C';
        fixed[0xA6] = '\x8C';
        fixed[0xB6] = '\x9C';
        fixed[0xB1] = '\xB9';
        fixed[0xBC] = '\x9F';
        fixed[0xA1] = '\xA5';
        fixed[0xAC] = '\x8F';
        QCOMPARE(fixPageCharset(all), fixed);
    }

    void polishCapitals_data()
    {
        QTest::addColumn<QByteArray>("pageTitle");
        QTest::addColumn<QString>("shown");

        QTest::addRow("Ą") << QByteArray("\xA1 i \xCA") << QStringLiteral("Ą i Ę");
        QTest::addRow("Ź") << QByteArray("\xACr\xF3"
                                         "d\xB3o")
                           << QStringLiteral("Źródło");
    }

    // A title that starts with capital Ą or Ź shows that letter in the now-playing list's text,
    // which is what the widget shows.
    void polishCapitals()
    {
        QFETCH(QByteArray, pageTitle);
        QFETCH(QString, shown);
        const QByteArray page =
            markedPage(300, "20:00", "", "<a href=\"javascript:okno(1)\">" + pageTitle + "</a>");
        NowPlayingList list;
        list.append(nowPlayingLine(page, kStation));
        QCOMPARE(list.data(list.index(0), Qt::DisplayRole).toString(),
                 "stacja.tv : 20:00 - " + shown);
    }

    void shorten_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("expected");

        QTest::addRow("25: 24 stays") << 25 << 24 << digitText(24);
        QTest::addRow("25: 25 gets dots") << 25 << 25 << digitText(25) + "...";
        QTest::addRow("25: 26 gets dots") << 25 << 26 << digitText(26) + "...";
        QTest::addRow("25: 40 is cut") << 25 << 40 << digitText(26) + "...";
        QTest::addRow("50: empty stays") << 50 << 0 << QByteArray();
        QTest::addRow("50: 49 stays") << 50 << 49 << digitText(49);
        QTest::addRow("50: 50 gets dots") << 50 << 50 << digitText(50) + "...";
        QTest::addRow("50: 51 gets dots") << 50 << 51 << digitText(51) + "...";
        QTest::addRow("50: 60 is cut") << 50 << 60 << digitText(51) + "...";
    }

    void shorten()
    {
        QFETCH(int, limit);
        QFETCH(int, length);
        QFETCH(QByteArray, expected);
        QCOMPARE(limit == 25 ? Shorten25(digitText(length)) : Shorten50(digitText(length)),
                 expected);
    }

    void normalizeLineBreaksCases_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");

        QTest::addRow("LF first") << QByteArray("\na") << QByteArray("\r\na");
        QTest::addRow("CR CR LF") << QByteArray("a\r\r\nb") << QByteArray("a\r\n\r\nb");
        QTest::addRow("LF CR") << QByteArray("a\n\rb") << QByteArray("a\r\n\r\nb");
        QTest::addRow("CR LF LF") << QByteArray("\r\n\n") << QByteArray("\r\n\r\n");
        QTest::addRow("mixed") << QByteArray("1\r\n2\n3\r4\r\n")
                               << QByteArray("1\r\n2\r\n3\r\n4\r\n");
        QTest::addRow("zero bytes kept") << QByteArray("a\0\nb", 4) << QByteArray("a\0\r\nb", 5);
    }

    void normalizeLineBreaksCases()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QCOMPARE(normalizeLineBreaks(input), expected);
    }

    // Random mixes of breaks and text against the one-character-at-a-time version.
    void normalizeLineBreaksRandom()
    {
        QRandomGenerator random(20240601);
        const char alphabet[] = {'\r', '\n', 'a', '<'};
        for (int round = 0; round < 5000; ++round) {
            QByteArray text;
            const int length = random.bounded(40);
            for (int i = 0; i < length; ++i)
                text += alphabet[random.bounded(4)];
            QCOMPARE(normalizeLineBreaks(text), slowNormalizeLineBreaks(text));
        }
    }

    // A page that has CR LF everywhere, as most do, is not copied.
    void normalizeLineBreaksKeepsCrLfPage()
    {
        const QByteArray page = portalPage();
        QVERIFY(normalizeLineBreaks(page).isSharedWith(page));
    }

    void nowPlayingLineCases_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("title");

        QTest::addRow("time and title")
            << markedPage(300, "20:00", "", kFilm) << QByteArray("stacja.tv : 20:00 - Film")
            << QByteArray("Film");
        QTest::addRow("hit") << markedPage(300, "f\"></", "21:30", kFilm)
                             << QByteArray("stacja.tv : [HIT] 21:30 - Film") << QByteArray("Film");
        QTest::addRow("nested tags in the title")
            << markedPage(300, "20:00", "", "<a href=\"javascript:okno(1)\"><b>Fakty</b> extra</a>")
            << QByteArray("stacja.tv : 20:00 - Fakty extra") << QByteArray("Fakty extra");
        QTest::addRow("time is not stripped")
            << markedPage(300, "<b>20", "", kFilm) << QByteArray("stacja.tv : <b>20 - Film")
            << QByteArray("Film");
        QTest::addRow("first marker counts")
            << markedPage(300, "20:00", "",
                          kFilm + QByteArray(200, '.') + "trwa.gif" +
                              "<a href=\"javascript:okno(9)\">Inny</a>")
            << QByteArray("stacja.tv : 20:00 - Film") << QByteArray("Film");
        QTest::addRow("anchor before the marker is passed over")
            << markedPage(300, "20:00", "", kFilm, "<a href=\"javascript:okno(8)\">Stary</a>")
            << QByteArray("stacja.tv : 20:00 - Film") << QByteArray("Film");
        QTest::addRow("marker past 65 535")
            << markedPage(200000, "f\"></", "21:30", kFilm)
            << QByteArray("stacja.tv : [HIT] 21:30 - Film") << QByteArray("Film");

        // Without the marker the time and title come from the start of the page.
        QTest::addRow("<html without marker")
            << QByteArray("<html><head></head><body>nic</body></html>")
            << QByteArray("stacja.tv : - brak informacji  - ") << QByteArray();
        QTest::addRow("<HTML without marker") << QByteArray("<HTML><BODY>nic</BODY></HTML>")
                                              << QByteArray("stacja.tv : <HTML - ") << QByteArray();
        QTest::addRow("empty page")
            << QByteArray() << QByteArray("stacja.tv :  - ") << QByteArray();
        QTest::addRow("text without marker")
            << QByteArray("Brak programu") << QByteArray("stacja.tv : Brak  - Brak")
            << QByteArray("Brak");

        // Marker, but the anchor is missing or out of place.
        QTest::addRow("no anchor: from the page start to one past </a>")
            << QByteArray("<img src=\"trwa.gif\">Film</a>!xyz")
            << QByteArray("stacja.tv : <img  - Film!") << QByteArray("Film!");
        QTest::addRow("no </a> after the marker")
            << markedPage(300, "20:00", "", "<a href=\"javascript:okno(5)\">Film bez konca")
            << QByteArray("stacja.tv : 20:00 - ") << QByteArray();
        QTest::addRow("</a> right before the anchor")
            << markedPage(300, "20:00", "", "</a>" + kFilm) << QByteArray("stacja.tv : 20:00 - ")
            << QByteArray();
        QTest::addRow("</a> well before the anchor")
            << markedPage(300, "20:00", "", "x</a> y " + kFilm)
            << QByteArray("stacja.tv : 20:00 - ") << QByteArray();

        // A marker near the start: the time is read from the start of the page.
        QTest::addRow("marker within 73")
            << QByteArray("20:00 <img src=\"trwa.gif\">") + kFilm
            << QByteArray("stacja.tv : 20:00 - Film") << QByteArray("Film");
        QTest::addRow("marker within 73 on <html")
            << QByteArray("<html><img src=\"trwa.gif\">") + kFilm
            << QByteArray("stacja.tv : - brak informacji  - Film") << QByteArray("Film");
        QTest::addRow("hit marker within 148")
            << markedPage(100, "f\"></", "", kFilm, "21:30")
            << QByteArray("stacja.tv : [HIT] 21:30 - Film") << QByteArray("Film");
        QTest::addRow("hit time <html is kept")
            << markedPage(100, "f\"></", "", kFilm, "<html>")
            << QByteArray("stacja.tv : [HIT] <html - Film") << QByteArray("Film");

        // The charset is fixed in the line, not in the title handed back.
        QTest::addRow("| in the title")
            << markedPage(300, "20:00", "", "<a href=\"javascript:okno(1)\">A|B</a>")
            << QByteArray("stacja.tv : 20:00 - A\x8C"
                          "B")
            << QByteArray("A|B");
        QTest::addRow("ISO-8859-2 letters in the title")
            << markedPage(300, "20:00", "",
                          "<a href=\"javascript:okno(1)\">\xA6\xB6\xB1\xBC\xA1\xAC</a>")
            << QByteArray("stacja.tv : 20:00 - \x8C\x9C\xB9\x9F\xA5\x8F")
            << QByteArray("\xA6\xB6\xB1\xBC\xA1\xAC");

        // "stacja.tv : 20:00 - " is 20 characters; the title makes up the rest.
        for (const int length : {49, 50, 51, 60}) {
            const QByteArray title = digitText(length - 20);
            const QByteArray full = "stacja.tv : 20:00 - " + title;
            QTest::addRow("line of %d", length)
                << markedPage(300, "20:00", "", "<a href=\"javascript:okno(1)\">" + title + "</a>")
                << (length < 50 ? full : full.left(51) + "...") << title;
        }
    }

    void nowPlayingLineCases()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, title);
        QByteArray gotTitle = "not set";
        QCOMPARE(nowPlayingLine(page, kStation, &gotTitle), line);
        QCOMPARE(gotTitle, title);
        QCOMPARE(nowPlayingLine(page, kStation), line);
    }

    void nextProgrammeCases_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<std::optional<PageProgramme>>("next");

        const QByteArray news = programmeRow("19:30", "Wiadomo\xB6"
                                                      "ci");
        const QByteArray film = programmeRow("20:00", "Film", true);
        const QByteArray sport = programmeRow("21:00", "Sport");
        const QByteArray filmLine = "stacja.tv : 20:00 - Film";
        const PageProgramme sportNext{"21:00", "Sport"};

        QTest::addRow("no row on air")
            << dayPage({news, sport}) << QByteArray("stacja.tv : - brak informacji  - ")
            << std::optional<PageProgramme>();
        QTest::addRow("last programme of the day")
            << dayPage({news, film}) << filmLine << std::optional<PageProgramme>();
        QTest::addRow("the row after the one on air")
            << dayPage({news, film, sport, programmeRow("22:00", "Noc")}) << filmLine
            << std::optional(sportNext);
        QTest::addRow("next after a hit")
            << dayPage({programmeRow("20:00", "Film", true, true), sport})
            << QByteArray("stacja.tv : [HIT] 20:00 - Film") << std::optional(sportNext);
        QTest::addRow("a hit as the next")
            << dayPage({film, programmeRow("21:00", "Sport", false, true)}) << filmLine
            << std::optional(PageProgramme{"21:00", "Sport", false, true});
        QTest::addRow("charset fixed, tags stripped")
            << dayPage({film, programmeRow("21:00", "<b>\xACr\xF3"
                                                    "d\xB3o</b> | 2")})
            << filmLine
            << std::optional(PageProgramme{"21:00", "\x8Fr\xF3"
                                                    "d\xB3o \x8C 2"});
        // The next programme's own row: a time in the title before it is not its time.
        QTest::addRow("a row without a time")
            << dayPage({programmeRow("20:00", "Film o 21:00", true),
                        "<tr><td><a href=\"javascript:okno(2)\">Bez godziny</a></td></tr>"})
            << QByteArray("stacja.tv : 20:00 - Film o 21:00")
            << std::optional(PageProgramme{"", "Bez godziny"});

        // "stacja.tv : 20:00 - " is 20 characters: a title of 30 and more is where the line is
        // cut. The next programme keeps its title whole.
        const QByteArray longTitle = digitText(60);
        QTest::addRow("cut title on air")
            << dayPage({programmeRow("20:00", longTitle, true), sport})
            << "stacja.tv : 20:00 - " + longTitle.left(31) + "..." << std::optional(sportNext);
        QTest::addRow("cut title as the next")
            << dayPage({film, programmeRow("21:00", digitText(30))}) << filmLine
            << std::optional(PageProgramme{"21:00", digitText(30)});
        QTest::addRow("long title as the next")
            << dayPage({film, programmeRow("21:00", longTitle)}) << filmLine
            << std::optional(PageProgramme{"21:00", longTitle});
    }

    // The programme after the one on air, beside the now-playing line: the same as the row
    // after it in the page's list, and given by both reads of the parser.
    void nextProgrammeCases()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, line);
        QFETCH(std::optional<PageProgramme>, next);
        std::optional<PageProgramme> lineNext{PageProgramme{"not", "set"}};
        QByteArray since = "not set";
        QCOMPARE(nowPlayingLine(page, kStation, nullptr, &lineNext, &since), line);
        QCOMPARE(lineNext, next);
        QCOMPARE(nextProgramme(page), next);

        const QList<PageProgramme> rows = pageProgrammes(page);
        const auto onAir = std::find_if(rows.cbegin(), rows.cend(),
                                        [](const PageProgramme& p) { return p.onAir; });
        if (onAir != rows.cend()) {
            QCOMPARE(rows.count(*onAir), 1);
            QCOMPARE(since, onAir->time);
            QCOMPARE(Shorten50(kStation + " : " + (onAir->hit ? "[HIT] " : "") + onAir->time +
                               " - " + onAir->title),
                     line);
        }
        const auto after = onAir == rows.cend() ? onAir : onAir + 1;
        QCOMPARE(after == rows.cend() ? std::nullopt : std::optional(*after), next);

        putFile(kStation, page);
        ListingsParser parser;
        QCOMPARE(parser.parseKeptPage(kStation), std::optional(line));
        QCOMPARE(parser.lastNext(), next);
        QCOMPARE(parser.lastNextUp(), next ? std::optional(NextUp{since, *next}) : std::nullopt);
        putFile(kStation, "<html></html>");
        QVERIFY(parser.ParseListingsPage(kStation));
        QCOMPARE(parser.lastNext(), std::nullopt);
        putFile(kStation, page);
        QVERIFY(parser.ParseListingsPage(kStation));
        QCOMPARE(parser.lastNext(), next);
        QVERIFY(!parser.ParseListingsPage("brak.tv"));
        QCOMPARE(parser.lastNext(), next);
    }

    // A day page of the portal itself, read whole: every row in order with its time and hit
    // image, the one on air marked, hits off the air too.
    void pageProgrammesOfAPortalDay_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<int>("onAir");

        QTest::addRow("a hit on air") << "2026-12-08T20:30" << 1;
        QTest::addRow("after a hit") << "2026-12-08T21:30" << 2;
        QTest::addRow("the last of the day") << "2026-12-08T23:58" << 3;
        QTest::addRow("nothing on air") << "2026-12-08T06:00" << -1;
    }

    void pageProgrammesOfAPortalDay()
    {
        QFETCH(QString, now);
        QFETCH(int, onAir);
        const auto at = [](const char* local) {
            return QDateTime::fromString(QString::fromLatin1(local), Qt::ISODate)
                .toMSecsSinceEpoch();
        };
        Channel channel;
        channel.name = "TVP 1";
        channel.programmes = {
            {at("2026-12-08T19:30"), at("2026-12-08T20:10"),
             "Wiadomo\xB6"
             "ci"},
            {at("2026-12-08T20:10"), at("2026-12-08T21:10"), "Ojciec Mateusz", true, 101},
            {at("2026-12-08T21:10"), at("2026-12-08T23:55"),
             "\xACr\xF3"
             "d\xB3o",
             false, 102},
            {at("2026-12-08T23:55"), at("2026-12-09T00:30"), "Nocne granie", false, 103},
        };
        QList<PageProgramme> expected{{"19:30", "Wiadomo\x9C"
                                                "ci"},
                                      {"20:10", "Ojciec Mateusz", false, true},
                                      {"21:10", "\x8Fr\xF3"
                                                "d\xB3o"},
                                      {"23:55", "Nocne granie"}};
        if (onAir >= 0)
            expected[onAir].onAir = true;
        const QByteArray page =
            listingPage(channel, QDateTime::fromString(now, Qt::ISODate), nullptr);
        QCOMPARE(pageProgrammes(page), expected);
        QCOMPARE(nextProgramme(page), onAir >= 0 && onAir + 1 < expected.size()
                                          ? std::optional(expected[onAir + 1])
                                          : std::nullopt);
    }

    void parseListingsPage_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("fileBytes");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("lastStation");

        // Each break counts as two characters whatever the file has.
        const QByteArray page = portalPage();
        const QByteArray line = "stacja.tv : 20:00 - Wiadomo\x9C"
                                "ci";
        QTest::addRow("CR LF") << "stacja.tv" << page << line << kStation;
        QTest::addRow("LF") << "stacja.tv" << rewriteBreaks(page, {"\n"}) << line << kStation;
        QTest::addRow("CR") << "stacja.tv" << rewriteBreaks(page, {"\r"}) << line << kStation;
        QTest::addRow("mixed") << "stacja.tv" << rewriteBreaks(page, {"\n", "\r", "\r\n"}) << line
                               << kStation;

        // The station is the file name in Windows-1250, with the page charset fixed after it.
        QTest::addRow("Polish station name") << QString::fromUtf8("Śląsk.tv") << page
                                             << cp1250("Śląsk.tv") + " : 20:00 - Wiadomo\x9C"
                                                                     "ci"
                                             << cp1250("Śląsk.tv");
        QTest::addRow("| in the station name") << "a|b.tv" << page
                                               << QByteArray("a\x8C"
                                                             "b.tv : 20:00 - Wiadomo\x9C"
                                                             "ci")
                                               << QByteArray("a\x8C"
                                                             "b.tv");
    }

    void parseListingsPage()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, fileBytes);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, lastStation);
        putFile(fileName, fileBytes);

        ListingsParser parser;
        QCOMPARE(parser.ParseListingsPage(fileName), std::optional<QByteArray>(line));
        QCOMPARE(parser.pageText(), portalPage());
        QCOMPARE(parser.lastTitle(), QByteArray("Wiadomo\x9C"
                                                "ci"));
        QCOMPARE(parser.lastStation(), lastStation);
        QVERIFY(parser.errorString().isEmpty());
    }

    // A page without the marker still counts as read: the empty title is kept.
    void parseListingsPageWithoutMarker()
    {
        ListingsParser parser;
        putFile("stacja.tv", portalPage());
        QVERIFY(parser.ParseListingsPage("stacja.tv"));
        putFile("stacja.tv", "<html>\n<body>Brak danych</body>\n</html>\n");
        QCOMPARE(parser.ParseListingsPage("stacja.tv"),
                 std::optional<QByteArray>("stacja.tv : - brak informacji  - "));
        QCOMPARE(parser.lastTitle(), QByteArray());
        QCOMPARE(parser.lastStation(), kStation);
        QCOMPARE(parser.pageText(),
                 QByteArray("<html>\r\n<body>Brak danych</body>\r\n</html>\r\n"));
    }

    void unreadablePage_data()
    {
        QTest::addColumn<QString>("fileName");

        QTest::addRow("missing file") << "brak.tv";
        QTest::addRow("directory") << "katalog.tv";
        QTest::addRow("name outside Windows-1250") << QString::fromUtf8("Первый.tv");
    }

    // Nothing kept changes, and the reason names the file.
    void unreadablePage()
    {
        QFETCH(QString, fileName);
        QVERIFY(QDir().mkdir("katalog.tv"));
        putFile(QString::fromUtf8("Первый.tv"), portalPage());

        ListingsParser parser;
        QCOMPARE(parser.ParseListingsPage(fileName), std::nullopt);
        QVERIFY(parser.pageText().isEmpty());
        QVERIFY(parser.lastTitle().isEmpty());
        QVERIFY(parser.lastStation().isEmpty());

        putFile("stacja.tv", portalPage());
        QVERIFY(parser.ParseListingsPage("stacja.tv"));
        QCOMPARE(parser.ParseListingsPage(fileName), std::nullopt);
        QCOMPARE(parser.pageText(), portalPage());
        QCOMPARE(parser.lastTitle(), QByteArray("Wiadomo\x9C"
                                                "ci"));
        QCOMPARE(parser.lastStation(), kStation);

        const QString prefix = QStringLiteral("file \"%1\". ").arg(fileName);
        const QString error = parser.errorString();
        QVERIFY2(error.contains(prefix), qPrintable(error));
        QVERIFY2(!error.mid(error.indexOf(prefix) + prefix.size()).trimmed().isEmpty(),
                 qPrintable(error));
    }

private:
    std::unique_ptr<ScratchFolder> m_dir;
};

QTEST_GUILESS_MAIN(TestParser)
#include "tst_parser.moc"
