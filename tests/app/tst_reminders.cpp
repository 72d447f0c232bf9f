// Reminders: the keyword match itself, and the whole round in the assembled program: arming
// through the dialog, the search on the title parsed last, the single firing into the
// reminder window.

#include "app/assembler.h"
#include "net/httpfetch.h"
#include "reminders/form3.h"
#include "reminders/okienko.h"
#include "reminders/remindersearch.h"
#include "support/controls.h"
#include "support/listingspage.h"
#include "support/scratchfolder.h"
#include "support/whenshown.h"
#include "text/win1250.h"
#include "update/updateengine.h"
#include "widgets/glowbutton.h"
#include "widgets/look.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QByteArray cp1250(const QString& text)
{
    return *unicodeToWin1250(text);
}

} // namespace

class TestReminders : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchFolder> folder;
    std::unique_ptr<Assembler> program;
    Okienko* dialog = nullptr;
    Form3* window = nullptr;

    // Opens the dialog from "Przypomnienie", "Dodaj stację" or a double click on the first
    // station, and confirms `keyword`; returns whether the dialog closed.
    bool confirm(const QString& purposeCaller, const QString& keyword)
    {
        bool closed = false;
        bool ran = false;
        whenShown(dialog, [&] {
            control<QLineEdit>(dialog, "b")->setText(keyword);
            QTest::mouseClick(control<GlowButton>(dialog, "okbut"), Qt::LeftButton);
            closed = !dialog->isVisible();
            dialog->close();
            ran = true;
        });
        Form1* form = &program->mainWindow();
        if (purposeCaller == "mhm") {
            QTest::mouseClick(control<GlowButton>(form, "mhm"), Qt::LeftButton);
        } else if (purposeCaller == "add") {
            QTest::mouseClick(control<GlowButton>(form, "GlowButton1"), Qt::LeftButton);
        } else {
            auto* list = control<QListWidget>(form, "programy");
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                               list->visualItemRect(list->item(0)).center());
        }
        // A double click opens the dialog from the event loop.
        if (!QTest::qWaitFor([&] { return ran; }))
            qFatal("The input dialog did not open for %s", qPrintable(purposeCaller));
        return closed;
    }

    // A completed download of tvp1.tv whose programme on air is `title`.
    void parse(const QByteArray& title)
    {
        QVERIFY(saveListingsPage(QStringLiteral("tvp1.tv"), "20:00", title));
        program->engine().htDoneFile(QStringLiteral("tvp1.tv"), 100);
    }
    void search() { program->reminderSearch().szukajkaTimer(); }
    const QTimer& szukajka() const { return program->reminderSearch().timer(); }
    QString mhm() const { return control<GlowButton>(&program->mainWindow(), "mhm")->text(); }

private slots:
    void initTestCase()
    {
        HttpFetch::globalInit();
        installFontFallbacks();
    }

    void init()
    {
        folder = std::make_unique<ScratchFolder>();
        QVERIFY(folder->isValid());
        program = std::make_unique<Assembler>(QStringLiteral("ekranik.conf"));
        dialog = &program->dialog();
        window = &program->reminderWindow();
        program->mainWindow().show();
    }

    void cleanup()
    {
        program.reset();
        folder.reset();
    }

    void matching_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("matches");
        QTest::newRow("letters folded") << "mecz"
                                        << "Piłka nożna: MECZ" << true;
        QTest::newRow("ascii capitals fold") << "NOZNA"
                                             << "pilka nozna" << true;
        QTest::newRow("polish capitals do not") << "NOŻNA"
                                                << "piłka nożna" << false;
        QTest::newRow("inside a word") << "ku"
                                       << "Akumulator" << true;
        QTest::newRow("at the start") << "ku"
                                      << "Kuchnia" << true;
        QTest::newRow("empty keyword") << ""
                                       << "Kuchnia" << false;
        QTest::newRow("nothing parsed yet") << "a"
                                            << "" << false;
        QTest::newRow("spaces count") << "mecz "
                                      << "MECZ" << false;
    }

    void matching()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, title);
        QFETCH(bool, matches);
        QCOMPARE(reminderMatches(cp1250(keyword), cp1250(title)), matches);
    }

    // The prompt breaks at its CR: two lines, within the dialog and above the input box.
    void promptAndPurpose()
    {
        QString prompt;
        QString purpose;
        QRect place;
        whenShown(dialog, [&] {
            prompt = control<QLabel>(dialog, "a")->text();
            purpose = control<QLabel>(dialog, "d")->text();
            place = control<QLabel>(dialog, "a")->geometry();
            dialog->close();
        });
        QTest::mouseClick(control<GlowButton>(&program->mainWindow(), "mhm"), Qt::LeftButton);
        QCOMPARE(prompt,
                 QStringLiteral("Podaj nazwę programu\nnp. Tobek Zorowiecki, Tobek, Zórowiecki"));
        QCOMPARE(purpose, QStringLiteral("Dodaj przypomnienie"));
        QVERIFY2(place.height() >= 2 * control<QLabel>(dialog, "a")->fontMetrics().lineSpacing(),
                 qPrintable(prompt));
        QVERIFY(dialog->rect().adjusted(8, 0, -8, 0).contains(place));
        QVERIFY(place.bottom() < control<QLineEdit>(dialog, "b")->y());
    }

    // Armed, the search finds nothing before a parse; then the first title with the keyword
    // pops the window up once, and the reminder is spent.
    void firesOnceOnTheParsedTitle()
    {
        QVERIFY(confirm("mhm", QStringLiteral("mecz")));
        QCOMPARE(mhm(), QStringLiteral("Szukam: mecz"));
        QVERIFY(szukajka().isActive());
        QCOMPARE(szukajka().interval(), 10000);
        QCOMPARE(control<QLabel>(dialog, "abc")->text(), QStringLiteral("mecz"));

        search(); // nothing parsed yet
        QVERIFY(!window->isVisible());
        parse(cp1250(QStringLiteral("Wiadomości")));
        search();
        QVERIFY(!window->isVisible());

        parse("Pi\xb3ka no\xbfna: MECZ"); // as the page has it (ISO-8859-2 = Windows-1250 here)
        search();
        QVERIFY(window->isVisible());
        QCOMPARE(control<QLabel>(window, "a")->text(), QStringLiteral("szukane słowo: mecz"));
        QCOMPARE(control<QLabel>(window, "b")->text(),
                 QStringLiteral("znalezione w programie: Piłka nożna: MECZ"));
        QCOMPARE(control<QLabel>(window, "c")->text(), QStringLiteral("w stacji: tvp1.tv"));
        QCOMPARE(mhm(), QStringLiteral("Przypomnienie"));
        QVERIFY(!szukajka().isActive());

        QTest::mouseClick(control<GlowButton>(window, "GlowButton1"), Qt::LeftButton);
        QVERIFY(!window->isVisible());
        search(); // the title still has it, but the reminder is spent
        QVERIFY(!window->isVisible());
    }

    void longTitleIsShortened()
    {
        QVERIFY(confirm("mhm", QStringLiteral("film")));
        parse("Film fabularny o bardzo d\xb3ugim tytule");
        search();
        QCOMPARE(control<QLabel>(window, "b")->text(),
                 QStringLiteral("znalezione w programie: Film fabularny o bardzo dł..."));
    }

    // An empty confirmation keeps the armed keyword; the other uses of the dialog leave it.
    void keywordSurvivesOtherUses()
    {
        QVERIFY(confirm("mhm", QStringLiteral("Sport")));
        QVERIFY(confirm("mhm", QString()));
        QVERIFY(confirm("add", QStringLiteral("x.tv|http://x")));
        QVERIFY(confirm("address", QStringLiteral("edited")));
        QCOMPARE(dialog->reminderKeyword(), QByteArray("Sport"));
        QCOMPARE(control<QLabel>(dialog, "abc")->text(), QStringLiteral("Sport"));
        QCOMPARE(mhm(), QStringLiteral("Szukam: Sport"));
        QVERIFY(szukajka().isActive());
        parse("Magazyn sportowy"); // "sport" inside "sportowy"
        search();
        QVERIFY(window->isVisible());
    }

    // A keyword with letters the titles can never hold is not armed; the dialog says why.
    void unrepresentableKeywordIsRefused()
    {
        QVERIFY(!confirm("mhm", QStringLiteral("Матч")));
        QVERIFY(!szukajka().isActive());
        QCOMPARE(mhm(), QStringLiteral("Przypomnienie"));
        QVERIFY(dialog->reminderKeyword().isEmpty());
    }

    // A new keyword replaces the armed one without restarting the search's rhythm.
    void rearmingKeepsTheTimer()
    {
        QVERIFY(confirm("mhm", QStringLiteral("one")));
        QTest::qWait(30);
        const int left = szukajka().remainingTime();
        QVERIFY(confirm("mhm", QStringLiteral("two")));
        QVERIFY(szukajka().remainingTime() <= left);
        QCOMPARE(mhm(), QStringLiteral("Szukam: two"));
    }
};

QTEST_MAIN(TestReminders)
#include "tst_reminders.moc"
