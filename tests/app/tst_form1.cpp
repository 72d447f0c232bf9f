// The assembled program around its main window: the station list against its files, the
// controls that change it, the order of writes at close, how the windows show what the update
// engine says, and moving the borderless window.

#include "app/assembler.h"
#include "app/settingsfile.h"
#include "display/form2.h"
#include "net/httpfetch.h"
#include "picker/channelpicker.h"
#include "reminders/okienko.h"
#include "stations/textfile.h"
#include "support/controls.h"
#include "support/faultserver.h"
#include "support/listingspage.h"
#include "support/mousedrag.h"
#include "support/scratchfolder.h"
#include "support/whenshown.h"
#include "text/errorbox.h"
#include "text/win1250.h"
#include "tray/trayicon.h"
#include "update/updateengine.h"
#include "widgets/clicklabel.h"
#include "widgets/debuglog.h"
#include "widgets/gauge.h"
#include "widgets/glowbutton.h"
#include "widgets/look.h"
#include "widgets/segmentbar.h"
#include "widgets/stationlistbox.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

    std::unique_ptr<ScratchFolder> folder;
    QStringList errors;
    QStringList writes;

    // The program in a fresh working folder, with error boxes and station file writes recorded.
    std::unique_ptr<Assembler> makeProgram(bool show = true)
    {
        auto program = std::make_unique<Assembler>(
            QStringLiteral("ekranik.conf"),
            [this](const QString& path, const QList<QByteArray>& lines) {
                writes << path;
                writeTextFile(path, lines);
            });
        if (show)
            program->mainWindow().show();
        return program;
    }

    template <class T> static T* in(const std::unique_ptr<Assembler>& program, const char* name)
    {
        return control<T>(&program->mainWindow(), name);
    }
    static QAction* menuItem(const std::unique_ptr<Assembler>& program, const char* name)
    {
        return control<QAction>(&program->trayMenu(), name);
    }
    static void click(const std::unique_ptr<Assembler>& program, const char* name)
    {
        QTest::mouseClick(in<QWidget>(program, name), Qt::LeftButton);
    }
    // A double click on a row of the station list, or below the rows for -1.
    static void doubleClickStation(const std::unique_ptr<Assembler>& program, int row)
    {
        auto* list = in<StationListBox>(program, "programy");
        const QPoint at = row < 0 ? QPoint(20, list->viewport()->height() - 3)
                                  : list->visualItemRect(list->item(row)).center();
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    // The offscreen platform never has a tray: a test of hiding to the tray says whether the
    // desktop it stands for has one.
    static void desktopHasTray(const std::unique_ptr<Assembler>& program, const bool& trayThere)
    {
        program->trayIcon().setTrayCheck([&trayThere] { return trayThere; });
    }
    static QStringList nowPlaying(const std::unique_ptr<Assembler>& program)
    {
        QStringList lines;
        const QAbstractItemModel* model = in<QListView>(program, "ilosc")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            lines << model->index(row, 0).data().toString();
        return lines;
    }

private slots:
    void initTestCase()
    {
        // No portal of the program's own is ever started here: none is found.
        qputenv("PATH", QByteArrayLiteral("/nonexistent"));
        HttpFetch::globalInit();
        installFontFallbacks();
    }

    void init()
    {
        folder = std::make_unique<ScratchFolder>();
        QVERIFY(folder->isValid());
        errors.clear();
        writes.clear();
        setErrorBox([this](const QString& text) { errors << text; });
    }

    void cleanup()
    {
        setErrorBox({});
        folder.reset();
    }

    void firstStartShowsTheDefaultListUnchecked()
    {
        auto program = makeProgram(false);
        QCOMPARE(program->trayIcon().Hint(), QStringLiteral("ekranik 2oo6 beta o.3"));
        QCOMPARE(program->applicationTitle(), QStringLiteral("ekranik"));
        QVERIFY(!program->engine().state().activated);
        QVERIFY(program->engine().state().hotStart);

        program->mainWindow().show();
        QVERIFY(errors.isEmpty());
        QVERIFY(program->engine().state().activated);
        QCOMPARE(in<QLabel>(program, "ver")->text(), QStringLiteral("o.912"));
        QCOMPARE(program->trayIcon().Hint(), QStringLiteral("ekranik 2oo6 beta o.912"));
        QCOMPARE(program->applicationTitle(), QStringLiteral("ekranik 2oo6 beta o.912"));
        QCOMPARE(in<StationListBox>(program, "programy")->stations().size(), 13);
        QVERIFY(in<StationListBox>(program, "programy")
                    ->stations()
                    .first()
                    .startsWith("discovery.tv|http://"));
        QVERIFY(!in<StationListBox>(program, "programy")->checkMarks().contains(true));
        QCOMPARE(program->mainWindow().size(), QSize(350, 239));
    }

    // The files are read and written back byte for byte: Windows-1250 letters, an empty entry
    // inside the list, a byte that has no Unicode meaning, any line break style on reading.
    void stationFilesRoundTripExactly()
    {
        const QByteArray kultura = *unicodeToWin1250(QStringLiteral("tvp kultura ąęłńóśźż ĄŻ.tv"));
        writeFile("programy.tv", kultura + "|http://host/k\r\n\r\nodd\x98.tv|http://host/o\n"
                                           "last.tv|http://host/l");
        writeFile("programy_stan.tv", "0\r\n3\r\n");

        auto program = makeProgram();
        QVERIFY(errors.isEmpty());
        QCOMPARE(in<StationListBox>(program, "programy")->stations(),
                 (QList<QByteArray>{kultura + "|http://host/k", "", "odd\x98.tv|http://host/o",
                                    "last.tv|http://host/l"}));
        QCOMPARE(in<StationListBox>(program, "programy")->checkMarks(),
                 (QList<bool>{true, false, false, true}));
        QCOMPARE(in<StationListBox>(program, "programy")->item(0)->text(),
                 QStringLiteral("tvp kultura ąęłńóśźż ĄŻ.tv|http://host/k"));

        QVERIFY(program->mainWindow().close());
        QCOMPARE(readFile("programy.tv"), kultura +
                                              "|http://host/k\r\n\r\nodd\x98.tv|http://host/o\r\n"
                                              "last.tv|http://host/l\r\n");
        QCOMPARE(readFile("programy_stan.tv"), QByteArray("0\r\n3\r\n"));
    }

    void loadingErrorsStopAtTheBadLine_data()
    {
        QTest::addColumn<QByteArray>("states");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QList<bool>>("marks");
        QTest::newRow("not a number")
            << QByteArray("0\r\nx1\r\n2\r\n") << QStringLiteral("'x1' is not a valid integer value")
            << QList<bool>{true, false, false};
        QTest::newRow("past the end")
            << QByteArray("1\r\n20\r\n2\r\n") << QStringLiteral("List index out of bounds (20)")
            << QList<bool>{false, true, false};
        QTest::newRow("negative") << QByteArray("-1\r\n0\r\n")
                                  << QStringLiteral("List index out of bounds (-1)")
                                  << QList<bool>{false, false, false};
        QTest::newRow("empty line")
            << QByteArray("2\r\n\r\n0\r\n") << QStringLiteral("'' is not a valid integer value")
            << QList<bool>{false, false, true};
    }

    void loadingErrorsStopAtTheBadLine()
    {
        QFETCH(QByteArray, states);
        QFETCH(QString, message);
        QFETCH(QList<bool>, marks);
        writeFile("programy.tv", "a.tv|http://a\r\nb.tv|http://b\r\nc.tv|http://c\r\n");
        writeFile("programy_stan.tv", states);
        auto program = makeProgram();
        QCOMPARE(errors, QStringList{message});
        QCOMPARE(in<StationListBox>(program, "programy")->checkMarks(), marks);
        // The steps before the check marks ran.
        QVERIFY(program->engine().state().activated);
        QCOMPARE(in<QLabel>(program, "ver")->text(), QStringLiteral("o.912"));
    }

    // An unreadable list stops the activation, and each later show or activation tries again
    // until a load succeeds; but not the activation that closing the error box brings, which
    // would open the box again without end.
    void unreadableListIsTriedAgain()
    {
        QVERIFY(QDir().mkdir("programy.tv")); // exists, but cannot be read as a file
        auto program = makeProgram();
        Form1& form = program->mainWindow();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith("Cannot open file \"programy.tv\". "),
                 qPrintable(errors.first()));
        QCOMPARE(in<StationListBox>(program, "programy")->stations().size(), 13);
        QVERIFY(!program->engine().state().activated);
        QCOMPARE(program->trayIcon().Hint(), QStringLiteral("ekranik 2oo6 beta o.3"));

        QApplication::setActiveWindow(&form); // back from the error box
        QCOMPARE(errors.size(), 1);
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(&form);
        QCOMPARE(errors.size(), 2);

        QVERIFY(QDir().rmdir("programy.tv"));
        writeFile("programy.tv", "a.tv|http://a\r\n");
        form.hide();
        form.show();
        QCOMPARE(errors.size(), 2);
        QVERIFY(program->engine().state().activated);
        QCOMPARE(in<StationListBox>(program, "programy")->stations(),
                 QList<QByteArray>{"a.tv|http://a"});
    }

    // A list with a line no station could have is refused, naming the line, and the file is
    // kept as it is: the list shown is not the file's, so closing does not write it. A zero
    // byte is dropped, and the entries after it are saved again.
    void oddListFiles()
    {
        const QByteArray longLine = "a.tv|http://a\r\n" + QByteArray(70000, 'x') + "\r\n";
        writeFile("programy.tv", longLine);
        {
            auto program = makeProgram();
            QCOMPARE(errors, QStringList{"Cannot open file \"programy.tv\". Line 2 is longer than "
                                         "65536 characters."});
            QVERIFY(program->mainWindow().close());
            QVERIFY(writes.isEmpty());
            QCOMPARE(readFile("programy.tv"), longLine);
        }
        errors.clear();
        writeFile("programy.tv",
                  QByteArray("a.tv|http://a\r\nb\0.tv|http://b\r\nc.tv|http://c\r\n", 45));
        auto program = makeProgram();
        QVERIFY(errors.isEmpty());
        QVERIFY(program->mainWindow().close());
        QCOMPARE(readFile("programy.tv"),
                 QByteArray("a.tv|http://a\r\nb.tv|http://b\r\nc.tv|http://c\r\n"));
    }

    // Loading replaces the list and its marks only once: activating the window again (after
    // the input dialog closes, say) keeps what the user did since.
    void laterShowsDoNotReload()
    {
        writeFile("programy.tv", "a.tv|http://a\r\n");
        auto program = makeProgram();
        in<StationListBox>(program, "programy")->appendStation("b.tv|http://b");
        program->mainWindow().hide();
        program->mainWindow().show();
        QCOMPARE(in<StationListBox>(program, "programy")->stations(),
                 (QList<QByteArray>{"a.tv|http://a", "b.tv|http://b"}));
    }

    void checkMarkMovesWithItsEntryOnDelete()
    {
        writeFile("programy.tv", "0|a\r\n1|b\r\n2|c\r\n3|d\r\n4|e\r\n");
        writeFile("programy_stan.tv", "4\r\n");
        auto program = makeProgram();
        program->engine().addTestLine("4 : 10:00 - news");

        in<StationListBox>(program, "programy")->setCurrentRow(2);
        click(program, "GlowButton2");
        QCOMPARE(in<StationListBox>(program, "programy")->stations(),
                 (QList<QByteArray>{"0|a", "1|b", "3|d", "4|e"}));
        QCOMPARE(in<StationListBox>(program, "programy")->checkMarks(),
                 (QList<bool>{false, false, false, true}));
        // Nothing stays selected: a second press deletes nothing.
        click(program, "GlowButton2");
        QCOMPARE(in<StationListBox>(program, "programy")->stations().size(), 4);
        // Deleting leaves the now-playing list alone.
        QCOMPARE(nowPlaying(program).size(), 1);

        QVERIFY(program->mainWindow().close());
        QCOMPARE(readFile("programy_stan.tv"), QByteArray("3\r\n"));
    }

    // Only the user's own changes of a check mark empty the now-playing list: not the marks
    // read from the file, nor a station added.
    void userCheckChangesEmptyTheNowPlayingList()
    {
        writeFile("programy_stan.tv", "1\r\n");
        auto program = makeProgram(false);
        program->engine().addTestLine("tvn.tv : 20:00 - Fakty");
        program->mainWindow().show();
        StationListBox* list = in<StationListBox>(program, "programy");
        QCOMPARE(list->checkMarks().count(true), 1);
        list->appendStation("new.tv|http://x");
        QCOMPARE(nowPlaying(program).size(), 1);

        // A click on the check box of the first row, as the user does it.
        const QRect row = list->visualItemRect(list->item(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(row.left() + 6, row.center().y()));
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);
        QCOMPARE(nowPlaying(program).size(), 0);
    }

    void writesAtCloseComeInOrder()
    {
        {
            auto program = makeProgram();
            menuItem(program, "Koniec1")->trigger();
            QVERIFY(!program->mainWindow().isVisible());
            QCOMPARE(writes, (QStringList{"programy.tv", "programy_stan.tv", "programy.tv"}));
        }
        writes.clear();
        {
            auto program = makeProgram();
            QSignalSpy ended(&program->stationFiles(), &StationFilesKeeper::ended);
            QVERIFY(program->mainWindow().close());
            QCOMPARE(writes, (QStringList{"programy_stan.tv", "programy.tv"}));
            QCOMPARE(ended.size(), 1);
        }
    }

    // Closing stops a download that is still running; it ends as a failure.
    void closingCancelsTheDownload()
    {
        FaultServer server;
        server.setReply({.head = FaultServer::okHead(5000),
                         .body = QByteArray(5000, 'x'),
                         .sendOnly = 100,
                         .stallAfter = true});
        auto program = makeProgram();
        HttpFetch* ht = program->engine().downloader();
        QSignalSpy failed(ht, &HttpFetch::OnError);
        ht->WaitThread = false;
        ht->URL = server.url("/x");
        ht->FileName = QStringLiteral("tvn.tv");
        ht->DownloadFile();
        QTRY_COMPARE(server.requestCount(), 1); // the worker starts from the event loop
        QVERIFY(program->mainWindow().close());
        QVERIFY(failed.wait(5000));
        QVERIFY(!QFile::exists("tvn.tv"));
    }

    // With the folder gone nothing can be saved: the error is shown, the window stays open,
    // and "Koniec" does not end the program; SIGTERM does.
    void saveFailureKeepsTheWindowOpen()
    {
        auto program = makeProgram();
        Form1& form = program->mainWindow();
        QSignalSpy ended(&program->stationFiles(), &StationFilesKeeper::ended);
        const QString path = folder->path();
        QVERIFY(QDir(path).removeRecursively());

        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        QCOMPARE(ended.size(), 0);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith("Cannot create file \"programy_stan.tv\". "),
                 qPrintable(errors.first()));
        // The failing step stopped the handler: the list file was not attempted.
        QCOMPARE(writes, QStringList{"programy_stan.tv"});

        errors.clear();
        menuItem(program, "Koniec1")->trigger();
        QVERIFY(form.isVisible());
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().startsWith("Cannot create file \"programy.tv\". "));

        // Asked to end from outside, nobody would answer a box: it ends, and says it lost
        // the changes.
        QVERIFY(!program->stationFiles().lostChanges());
        QVERIFY(std::raise(SIGTERM) == 0);
        QTRY_VERIFY(!form.isVisible());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(errors.size(), 1);
        QVERIFY(program->stationFiles().lostChanges());
        QVERIFY(QDir().mkpath(path)); // let the temporary folder clean up
    }

    // A download as the update timer starts it: its progress shows on the widget's title and
    // gauge, on the main window's bar and in the debug area's caption (a station called "tv%1"
    // stays a name), and the debug log, the statistics and the widget's list follow.
    void aDownloadShowsEverywhere()
    {
        FaultServer server;
        const QByteArray page = listingsPage("20:00", "Fakty");
        server.setReply({.head = FaultServer::okHead(page.size()), .body = page, .chunkSize = 64});
        writeFile("programy.tv", "tv%1|" + server.url("/tvn") + "\r\n");
        writeFile("programy_stan.tv", "0\r\n");
        auto program = makeProgram();
        Form2& widget = program->widget();
        program->engine().Timer1Timer(); // the first tick fetches the first station

        QCOMPARE(control<QLabel>(&widget, "a")->text(), QStringLiteral("ekranik - tv%1"));
        QCOMPARE(control<Gauge>(&widget, "pb2")->maxValue(), page.size());
        QVERIFY(control<Gauge>(&widget, "pb2")->progress() > 0);
        QCOMPARE(in<SegmentBar>(program, "pb")->max(), page.size());
        QCOMPARE(in<SegmentBar>(program, "pb")->position(), page.size());
        QCOMPARE(in<QLabel>(program, "xxx")->text(),
                 QStringLiteral("Aktualizuje tv%1 ") + QStringLiteral("%1/%1").arg(page.size()));
        QVERIFY(in<DebugLog>(program, "Memo2")->toPlainText().contains(".mrowka: Sciagam... tv%1"));
        QCOMPARE(menuItem(program, "akt")->text(), QStringLiteral("Udane aktualizacje: 1 razy"));
        QCOMPARE(menuItem(program, "pobrano")->text(), QStringLiteral("Pobrano: 0 kB | 0 MB"));
        QVERIFY(widget.isVisible());
        QCOMPARE(control<QListWidget>(&widget, "b")->count(), 1);
    }

    // The clear timer empties the list, and the widget says it is being updated.
    void clearShowsUpdatingOnTheWidget()
    {
        auto program = makeProgram();
        emit program->engine().publishable({"a.tv : 20:00 - x", "b.tv : 20:00 - y"},
                                           QStringLiteral("20 : 05"));
        program->engine().clearTimer();
        auto* list = control<QListWidget>(&program->widget(), "b");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Aktualizacja..."));
        QVERIFY(nowPlaying(program).isEmpty());
    }

    void nowPlayingListButtons()
    {
        auto program = makeProgram();
        program->mainWindow().showDebugArea();
        click(program, "Button2");
        QCOMPARE(nowPlaying(program), QStringList{"Fake program ;]"});
        auto* ilosc = in<QListView>(program, "ilosc");
        QTest::mouseClick(ilosc->viewport(), Qt::LeftButton, {},
                          ilosc->visualRect(ilosc->model()->index(0, 0)).center());
        QCOMPARE(in<QLineEdit>(program, "Edit1")->text(), QStringLiteral("Fake program ;]"));
        // "kasuj" empties the list; the line copied before stays in the box.
        click(program, "Button1");
        QCOMPARE(nowPlaying(program).size(), 0);
        QCOMPARE(in<QLineEdit>(program, "Edit1")->text(), QStringLiteral("Fake program ;]"));
    }

    void trayMenuHasItsItems()
    {
        auto program = makeProgram();
        QStringList captions;
        for (QAction* action : program->trayMenu().actions())
            captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(captions,
                 (QStringList{"ekranik - konfiguracja", "-", "Ustawienia", "Wybierz kanały…",
                              "Statystyki", "Częstotliwość aktualizacji", "Koniec"}));
        QCOMPARE(program->trayMenu().objectName(), QStringLiteral("PopupMenu1"));
        QCOMPARE(program->trayIcon().PopupMenu(), &program->trayMenu());
        QVERIFY(!program->trayMenu().actions().first()->isEnabled());
        QVERIFY(!menuItem(program, "pobrano")->isEnabled() &&
                !menuItem(program, "akt")->isEnabled());
        auto* frequencies = control<QMenu>(&program->trayMenu(), "Czstotliwo1");
        QCOMPARE(frequencies->defaultAction(), menuItem(program, "Normalnie20s1"));
        QCOMPARE(frequencies->actions().size(), 8);
        QVERIFY(!frequencies->actions().last()->isEnabled());

        // The frequency in force is checked, the normal one until another is picked.
        const auto checkedFrequencies = [&] {
            QStringList names;
            for (QAction* action : frequencies->actions()) {
                if (action->isChecked())
                    names << action->objectName();
            }
            return names;
        };
        QCOMPARE(checkedFrequencies(), QStringList{"Normalnie20s1"});
        menuItem(program, "Wolno40s1")->trigger();
        QCOMPARE(checkedFrequencies(), QStringList{"Wolno40s1"});
        QCOMPARE(program->engine().state().frequencyKeyword, QStringLiteral("slow"));
        menuItem(program, "Wolno40s1")->trigger(); // picked again, still the one
        QCOMPARE(checkedFrequencies(), QStringList{"Wolno40s1"});
        QCOMPARE(frequencies->defaultAction(), menuItem(program, "Normalnie20s1"));

        // The display modes: exactly one checked.
        QVERIFY(in<QAction>(program, "c1")->isChecked() &&
                !in<QAction>(program, "c2")->isChecked());
        in<QAction>(program, "c2")->trigger();
        QVERIFY(!in<QAction>(program, "c1")->isChecked() &&
                in<QAction>(program, "c2")->isChecked());
        in<QAction>(program, "c2")->trigger();
        QVERIFY(in<QAction>(program, "c2")->isChecked());

        // "[ok]" hides the window to the tray, "Ustawienia" brings it back.
        const bool trayThere = true;
        desktopHasTray(program, trayThere);
        click(program, "Label5");
        QVERIFY(!program->mainWindow().isVisible());
        menuItem(program, "Ustawienia1")->trigger();
        QVERIFY(program->mainWindow().isVisible());
    }

    // "[ok]" hides the main window to the tray; during the hot start it also says the list is
    // on its way.
    void okDuringAndAfterTheHotStart()
    {
        auto program = makeProgram();
        const bool trayThere = true;
        desktopHasTray(program, trayThere);
        in<QAction>(program, "UstawieniaRadudoVorozu1")->trigger();
        QVERIFY(in<QWidget>(program, "acset")->isVisible());
        click(program, "Label5");
        QVERIFY(!program->mainWindow().isVisible());
        QVERIFY(!in<QWidget>(program, "acset")->isVisible());
        TrayIcon& ico = program->trayIcon();
        QCOMPARE(ico.lastBalloon(),
                 (TrayIcon::Balloon{QStringLiteral("ekranik"),
                                    QStringLiteral("Aktualizacja w toku, proszę chwile poczekać "
                                                   "zanim pojawią się pierwsze efekty (średnio 30 "
                                                   "sekund)..."),
                                    TrayIcon::BalloonIcon::Info, 10000}));
        for (int tick = 0; tick <= 13; ++tick) // nothing checked: the 14th tick wraps
            program->engine().Timer1Timer();
        QVERIFY(!program->engine().state().hotStart);
        menuItem(program, "Ustawienia1")->trigger();
        QVERIFY(program->mainWindow().isVisible());
        click(program, "Label5");
        QVERIFY(!program->mainWindow().isVisible());
        QCOMPARE(ico.balloonsShown(), 1);
    }

    // Without a tray "[ok]" minimises the window, which the user can still reach, and the
    // debug area says why, once; a tray that turns up later takes the window again.
    void okWithoutATray()
    {
        auto program = makeProgram();
        Form1& form = program->mainWindow();
        bool trayThere = false;
        desktopHasTray(program, trayThere);
        for (int round = 0; round < 2; ++round) {
            click(program, "Label5");
            QVERIFY(form.isVisible());
            QVERIFY(form.isMinimized());
            menuItem(program, "Ustawienia1")->trigger();
            QVERIFY(!form.isMinimized());
        }
        const QString log = in<DebugLog>(program, "Memo2")->toPlainText();
        QCOMPARE(log.count(QStringLiteral(".mrowka: Brak obszaru powiadomień")), 1);

        trayThere = true;
        click(program, "Label5");
        QVERIFY(!form.isVisible());
    }

    // The engine's complete list goes where the display mode says, and its clock to the
    // widget.
    void publicationFollowsTheDisplayMode()
    {
        auto program = makeProgram();
        Form2& widget = program->widget();
        UpdateEngine& engine = program->engine();
        emit engine.clockChanged(QStringLiteral("20 : 05 | środa"));
        QCOMPARE(control<QLabel>(&widget, "hur")->text(), QStringLiteral("20 : 05 | środa"));
        emit engine.publishable({"s1.tv : 20:00 - Film"}, QStringLiteral("20 : 05 | środa"));
        QVERIFY(widget.isVisible());
        in<QAction>(program, "c2")->trigger();
        emit engine.publishable({"s1.tv : 20:00 - Film"}, QStringLiteral("20 : 05 | środa"));
        QVERIFY(!widget.isVisible());
        QCOMPARE(program->trayIcon().lastBalloon().text,
                 QStringLiteral("s1.tv : 20:00 - Film\r\n"));
    }

    // The ways into the channel picker: "[kanały]" on the window and the tray menu's item.
    // Both ways in open the picker, with the station list as it is.
    void waysIntoTheChannelPicker()
    {
        writeFile(QStringLiteral("programy.tv"), "a.tv|http://10.0.0.1/a\r\n");
        writeFile(QStringLiteral("programy_stan.tv"), "");
        auto program = makeProgram();
        ChannelPicker& picker = program->channelPicker();
        QVERIFY(!picker.isVisible());
        click(program, "kanaly");
        QVERIFY(picker.isVisible());
        picker.close();
        menuItem(program, "Wybierzkanay1")->trigger();
        QVERIFY(picker.isVisible());
        QVERIFY(program->mainWindow().isVisible());
    }

    // A folder without station files opens the picker at the first start: with no sources
    // over the default list, else over an empty one. The first channels picked there from a
    // source replace the untouched default list: OK adds the ticked channel checked, and a
    // quick pass fetches it soon.
    void firstStartOpensThePicker_data()
    {
        QTest::addColumn<bool>("withSources");
        QTest::addColumn<int>("stations");
        QTest::newRow("no sources") << false << 13;
        QTest::newRow("sources") << true << 0;
    }
    void firstStartOpensThePicker()
    {
        QFETCH(bool, withSources);
        QFETCH(int, stations);
        if (withSources)
            SettingsFile(QStringLiteral("ekranik.conf")).setSources({folder->path() + "/a.xml"});
        auto program = makeProgram();
        auto* list = in<StationListBox>(program, "programy");
        ChannelPicker& picker = program->channelPicker();
        QTRY_VERIFY(picker.isVisible());
        QCOMPARE(list->count(), stations);

        control<QLineEdit>(&picker, "source")->setText(folder->path() + QStringLiteral("/b.xml"));
        QTest::mouseClick(control<QPushButton>(&picker, "load"), Qt::LeftButton);
        QCOMPARE(list->count(), stations);
        QCOMPARE(SettingsFile(QStringLiteral("ekranik.conf")).sources(),
                 QStringList{folder->path() + QStringLiteral("/b.xml")});

        PortalChannels answer;
        answer.state = PortalChannels::State::Ready;
        answer.channels = {{QStringLiteral("k1"),
                            {QStringLiteral("Kanał 1")},
                            "kanal.1.tv|http://127.0.0.1:8080/program.html?T%5Bchannel%5D=k1",
                            {},
                            {},
                            {}}};
        picker.showChannels(answer);
        auto* rows = control<QWidget>(&picker, "channels");
        rows->setFocus();
        QTest::keyClick(rows, Qt::Key_Space);
        QTest::mouseClick(control<QPushButton>(&picker, "ok"), Qt::LeftButton);
        QVERIFY(!picker.isVisible());
        QCOMPARE(
            list->stations(),
            QList<QByteArray>{"kanal.1.tv|http://127.0.0.1:8080/program.html?T%5Bchannel%5D=k1"});
        QCOMPARE(list->checkMarks(), QList<bool>{true});
        QVERIFY(program->engine().state().hotStart);
        QCOMPARE(program->engine().updateTimer().interval(), 1000);
    }

    void debugAccessWordShowsTheDebugArea()
    {
        auto program = makeProgram();
        Form1& form = program->mainWindow();
        Okienko& dialog = program->dialog();
        const auto confirm = [&](const QString& text) {
            control<QLineEdit>(&dialog, "b")->setText(text);
            QTest::mouseClick(control<GlowButton>(&dialog, "okbut"), Qt::LeftButton);
        };
        whenShown(&dialog, [&] {
            QCOMPARE(control<QLabel>(&dialog, "d")->text(), Okienko::kAddStation);
            QCOMPARE(control<QLabel>(&dialog, "a")->text(),
                     QStringLiteral("Budowa: nazwa.stacji.tv|http://adres.do.stacji"));
            confirm(QStringLiteral("mrowka"));
            QVERIFY(dialog.isVisible());
            QCOMPARE(form.height(), 645);
            QVERIFY(form.mask().contains(QPoint(100, 620))); // the shape grew with it
            confirm(QStringLiteral("nazwa.stacji.tv|http://adres.do.stacji"));
        });
        click(program, "GlowButton1");
        QVERIFY(!dialog.isVisible());
        QCOMPARE(in<StationListBox>(program, "programy")->stations().last(),
                 QByteArray("nazwa.stacji.tv|http://adres.do.stacji"));
        QCOMPARE(in<StationListBox>(program, "programy")->checkMarks().last(), false);
    }

    // A double click anywhere in the list shows the selected station's address; below the
    // entries, with none selected, it is the index error.
    void doubleClickShowsTheAddress()
    {
        writeFile("programy.tv", "a.tv|http://a\r\npolsat.tv|http://host/.?&T%5Bstation%5D=5\r\n");
        auto program = makeProgram();
        Okienko& dialog = program->dialog();

        bool opened = false;
        QObject* watch = whenShown(&dialog, [&] {
            opened = true;
            dialog.close();
        });
        doubleClickStation(program, -1);
        QTRY_COMPARE(errors, QStringList{"List index out of bounds (-1)"});
        QTest::qWait(1);
        QVERIFY(!opened);
        delete watch;

        bool shown = false;
        whenShown(&dialog, [&] {
            QCOMPARE(control<QLabel>(&dialog, "d")->text(), QStringLiteral("Program TV na dziś"));
            QCOMPARE(control<QLabel>(&dialog, "a")->text(),
                     QStringLiteral("Adres do aktualnego programu"));
            QCOMPARE(control<QLineEdit>(&dialog, "b")->text(),
                     QStringLiteral("http://host/.?&T%5Bstation%5D=5"));
            control<QLineEdit>(&dialog, "b")->setText(QStringLiteral("edited|http://elsewhere"));
            QTest::mouseClick(control<GlowButton>(&dialog, "okbut"), Qt::LeftButton);
            shown = true;
        });
        doubleClickStation(program, 1);
        QTRY_VERIFY(shown);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(in<StationListBox>(program, "programy")->stations().size(), 2);
        QVERIFY(in<StationListBox>(program, "programy")->stations().at(1).startsWith("polsat.tv|"));
    }

    void draggingMovesTheWindow_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");
        QTest::newRow("title, right button") << "Label4" << int(Qt::RightButton) << true;
        QTest::newRow("title, left button") << "Label4" << int(Qt::LeftButton) << true;
        QTest::newRow("version, middle button") << "ver" << int(Qt::MiddleButton) << true;
        QTest::newRow("background") << "" << int(Qt::LeftButton) << true;
        QTest::newRow("settings title") << "Label2" << int(Qt::LeftButton) << true;
        QTest::newRow("settings background") << "acset" << int(Qt::LeftButton) << true;
        QTest::newRow("station list") << "programy" << int(Qt::LeftButton) << false;
        QTest::newRow("ok label") << "Label5" << int(Qt::LeftButton) << false;
    }

    void draggingMovesTheWindow()
    {
        QFETCH(QString, from);
        QFETCH(int, button);
        QFETCH(bool, moves);
        auto program = makeProgram();
        Form1& form = program->mainWindow();
        QWidget* widget = &form;
        if (from == "Label4")
            widget = in<QLabel>(program, "Label4");
        else if (from == "ver")
            widget = in<QLabel>(program, "ver");
        else if (from == "Label2" || from == "acset") {
            in<QWidget>(program, "acset")->show();
            widget = in<QWidget>(program, qPrintable(from));
        } else if (from == "programy")
            widget = in<StationListBox>(program, "programy")->viewport();
        else if (from == "Label5")
            widget = in<ClickLabel>(program, "Label5");
        else
            QVERIFY(!form.childAt(5, 100)); // background at (5, 100)
        if (from == "acset")
            QCOMPARE(widget->childAt(5, 5), nullptr); // the panel's own background
        const QPoint before = form.pos();
        if (widget == &form) {
            const QPoint global = form.mapToGlobal(QPoint(5, 100));
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 100), QPointF(global),
                              Qt::MouseButton(button), Qt::MouseButton(button), Qt::NoModifier);
            QApplication::sendEvent(&form, &press);
            QMouseEvent move(QEvent::MouseMove, QPointF(45, 130), QPointF(global + QPoint(40, 30)),
                             Qt::NoButton, Qt::MouseButton(button), Qt::NoModifier);
            QApplication::sendEvent(&form, &move);
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(45, 130),
                                QPointF(global + QPoint(40, 30)), Qt::MouseButton(button),
                                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&form, &release);
        } else {
            dragBy(widget, Qt::MouseButton(button), QPoint(40, 30));
        }
        QCOMPARE(form.pos() - before, moves ? QPoint(40, 30) : QPoint(0, 0));
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
