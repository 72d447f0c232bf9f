// The main window: the station list against its files, the handlers that change it, the order
// of writes at close, how it shows what the update engine says, and moving the borderless
// window.

#include "app/debugarea.h"
#include "app/form1.h"
#include "display/form2.h"
#include "net/httpfetch.h"
#include "reminders/okienko.h"
#include "stations/textfile.h"
#include "support/controls.h"
#include "support/faultserver.h"
#include "support/mousedrag.h"
#include "support/scratchfolder.h"
#include "text/errorbox.h"
#include "text/win1250.h"
#include "tray/trayicon.h"
#include "update/updateengine.h"
#include "widgets/clicklabel.h"
#include "widgets/debuglog.h"
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

    // A main window in a fresh working folder, with error boxes and file writes recorded.
    std::unique_ptr<Form1> makeForm(bool show = true)
    {
        auto form =
            std::make_unique<Form1>([this](const QString& path, const QList<QByteArray>& lines) {
                writes << path;
                writeTextFile(path, lines);
            });
        if (show)
            form->show();
        return form;
    }

    template <class T> static T* in(const std::unique_ptr<Form1>& form, const char* name)
    {
        return control<T>(form.get(), name);
    }
    // The offscreen platform never has a tray: a test of hiding to the tray says whether the
    // desktop it stands for has one.
    static void desktopHasTray(const std::unique_ptr<Form1>& form, const bool& trayThere)
    {
        in<TrayIcon>(form, "ico")->setTrayCheck([&trayThere] { return trayThere; });
    }
    static QStringList nowPlaying(const std::unique_ptr<Form1>& form)
    {
        QStringList lines;
        const QAbstractItemModel* model = in<QListView>(form, "ilosc")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            lines << model->index(row, 0).data().toString();
        return lines;
    }

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
        auto form = makeForm(false);
        QCOMPARE(in<TrayIcon>(form, "ico")->Hint(), QStringLiteral("ekranik 2oo6 beta o.3"));
        QVERIFY(!form->engine()->state().activated);
        QVERIFY(form->engine()->state().hotStart);

        form->show();
        QVERIFY(errors.isEmpty());
        QVERIFY(form->engine()->state().activated);
        QCOMPARE(in<QLabel>(form, "ver")->text(), QStringLiteral("o.912"));
        QCOMPARE(in<TrayIcon>(form, "ico")->Hint(), QStringLiteral("ekranik 2oo6 beta o.912"));
        QCOMPARE(form->applicationTitle(), QStringLiteral("ekranik 2oo6 beta o.912"));
        QCOMPARE(in<StationListBox>(form, "programy")->stations().size(), 13);
        QVERIFY(in<StationListBox>(form, "programy")
                    ->stations()
                    .first()
                    .startsWith("discovery.tv|http://"));
        QVERIFY(!in<StationListBox>(form, "programy")->checkMarks().contains(true));
        QCOMPARE(form->size(), QSize(350, 239));
    }

    // The files are read and written back byte for byte: Windows-1250 letters, an empty entry
    // inside the list, a byte that has no Unicode meaning, any line break style on reading.
    void stationFilesRoundTripExactly()
    {
        const QByteArray kultura = *unicodeToWin1250(QStringLiteral("tvp kultura ąęłńóśźż ĄŻ.tv"));
        writeFile("programy.tv", kultura + "|http://host/k\r\n\r\nodd\x98.tv|http://host/o\n"
                                           "last.tv|http://host/l");
        writeFile("programy_stan.tv", "0\r\n3\r\n");

        auto form = makeForm();
        QVERIFY(errors.isEmpty());
        QCOMPARE(in<StationListBox>(form, "programy")->stations(),
                 (QList<QByteArray>{kultura + "|http://host/k", "", "odd\x98.tv|http://host/o",
                                    "last.tv|http://host/l"}));
        QCOMPARE(in<StationListBox>(form, "programy")->checkMarks(),
                 (QList<bool>{true, false, false, true}));
        QCOMPARE(in<StationListBox>(form, "programy")->item(0)->text(),
                 QStringLiteral("tvp kultura ąęłńóśźż ĄŻ.tv|http://host/k"));

        QVERIFY(form->close());
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
        auto form = makeForm();
        QCOMPARE(errors, QStringList{message});
        QCOMPARE(in<StationListBox>(form, "programy")->checkMarks(), marks);
        // The steps before the check marks ran.
        QVERIFY(form->engine()->state().activated);
        QCOMPARE(in<QLabel>(form, "ver")->text(), QStringLiteral("o.912"));
    }

    // An unreadable list stops the activation, and each later show or activation tries again
    // until a load succeeds; but not the activation that closing the error box brings, which
    // would open the box again without end.
    void unreadableListIsTriedAgain()
    {
        QVERIFY(QDir().mkdir("programy.tv")); // exists, but cannot be read as a file
        auto form = makeForm();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith("Cannot open file \"programy.tv\". "),
                 qPrintable(errors.first()));
        QCOMPARE(in<StationListBox>(form, "programy")->stations().size(), 13);
        QVERIFY(!form->engine()->state().activated);
        QCOMPARE(in<TrayIcon>(form, "ico")->Hint(), QStringLiteral("ekranik 2oo6 beta o.3"));

        QApplication::setActiveWindow(form.get()); // back from the error box
        QCOMPARE(errors.size(), 1);
        QApplication::setActiveWindow(nullptr);
        QApplication::setActiveWindow(form.get());
        QCOMPARE(errors.size(), 2);

        QVERIFY(QDir().rmdir("programy.tv"));
        writeFile("programy.tv", "a.tv|http://a\r\n");
        form->hide();
        form->show();
        QCOMPARE(errors.size(), 2);
        QVERIFY(form->engine()->state().activated);
        QCOMPARE(in<StationListBox>(form, "programy")->stations(),
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
            auto form = makeForm();
            QCOMPARE(errors, QStringList{"Cannot open file \"programy.tv\". Line 2 is longer than "
                                         "65536 characters."});
            QVERIFY(form->close());
            QVERIFY(writes.isEmpty());
            QCOMPARE(readFile("programy.tv"), longLine);
        }
        errors.clear();
        writeFile("programy.tv",
                  QByteArray("a.tv|http://a\r\nb\0.tv|http://b\r\nc.tv|http://c\r\n", 45));
        auto form = makeForm();
        QVERIFY(errors.isEmpty());
        QVERIFY(form->close());
        QCOMPARE(readFile("programy.tv"),
                 QByteArray("a.tv|http://a\r\nb.tv|http://b\r\nc.tv|http://c\r\n"));
    }

    // Loading replaces the list and its marks only once: activating the window again (after
    // the input dialog closes, say) keeps what the user did since.
    void laterShowsDoNotReload()
    {
        writeFile("programy.tv", "a.tv|http://a\r\n");
        auto form = makeForm();
        in<StationListBox>(form, "programy")->appendStation("b.tv|http://b");
        form->hide();
        form->show();
        QCOMPARE(in<StationListBox>(form, "programy")->stations(),
                 (QList<QByteArray>{"a.tv|http://a", "b.tv|http://b"}));
    }

    void checkMarkMovesWithItsEntryOnDelete()
    {
        writeFile("programy.tv", "0|a\r\n1|b\r\n2|c\r\n3|d\r\n4|e\r\n");
        writeFile("programy_stan.tv", "4\r\n");
        auto form = makeForm();
        form->engine()->addTestLine("4 : 10:00 - news");

        in<StationListBox>(form, "programy")->setCurrentRow(2);
        form->delClick();
        QCOMPARE(in<StationListBox>(form, "programy")->stations(),
                 (QList<QByteArray>{"0|a", "1|b", "3|d", "4|e"}));
        QCOMPARE(in<StationListBox>(form, "programy")->checkMarks(),
                 (QList<bool>{false, false, false, true}));
        // Nothing stays selected: a second press deletes nothing.
        form->delClick();
        QCOMPARE(in<StationListBox>(form, "programy")->stations().size(), 4);
        // Deleting leaves the now-playing list alone.
        QCOMPARE(nowPlaying(form).size(), 1);

        QVERIFY(form->close());
        QCOMPARE(readFile("programy_stan.tv"), QByteArray("3\r\n"));
    }

    // Only the user's own changes of a check mark empty the now-playing list.
    void userCheckChangesEmptyTheNowPlayingList()
    {
        writeFile("programy_stan.tv", "1\r\n");
        auto form = makeForm();
        QCOMPARE(in<StationListBox>(form, "programy")->checkMarks().count(true), 1);

        form->engine()->addTestLine("tvn.tv : 20:00 - Fakty");
        form->LoadCheckedStates();
        in<StationListBox>(form, "programy")->appendStation("new.tv|http://x");
        QCOMPARE(nowPlaying(form).size(), 1);

        // A click on the check box of the first row, as the user does it.
        StationListBox* list = in<StationListBox>(form, "programy");
        const QRect row = list->visualItemRect(list->item(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(row.left() + 6, row.center().y()));
        QCOMPARE(list->item(0)->checkState(), Qt::Checked);
        QCOMPARE(nowPlaying(form).size(), 0);
    }

    void writesAtCloseComeInOrder()
    {
        {
            auto form = makeForm();
            form->close1Click();
            QVERIFY(!form->isVisible());
            QCOMPARE(writes, (QStringList{"programy.tv", "programy_stan.tv", "programy.tv"}));
        }
        writes.clear();
        {
            auto form = makeForm();
            QSignalSpy closed(form.get(), &Form1::closed);
            QVERIFY(form->close());
            QCOMPARE(writes, (QStringList{"programy_stan.tv", "programy.tv"}));
            QCOMPARE(closed.size(), 1);
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
        auto form = makeForm();
        HttpFetch* ht = form->engine()->downloader();
        QSignalSpy failed(ht, &HttpFetch::OnError);
        ht->WaitThread = false;
        ht->URL = server.url("/x");
        ht->FileName = QStringLiteral("tvn.tv");
        ht->DownloadFile();
        QTRY_COMPARE(server.requestCount(), 1); // the worker starts from the event loop
        QVERIFY(form->close());
        QVERIFY(failed.wait(5000));
        QVERIFY(!QFile::exists("tvn.tv"));
    }

    // With the folder gone nothing can be saved: the error is shown, the window stays open,
    // and "Koniec" does not end the program; a request from outside does.
    void saveFailureKeepsTheWindowOpen()
    {
        auto form = makeForm();
        QSignalSpy closed(form.get(), &Form1::closed);
        const QString path = folder->path();
        QVERIFY(QDir(path).removeRecursively());

        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(closed.size(), 0);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith("Cannot create file \"programy_stan.tv\". "),
                 qPrintable(errors.first()));
        // The failing step stopped the handler: the list file was not attempted.
        QCOMPARE(writes, QStringList{"programy_stan.tv"});

        errors.clear();
        form->close1Click();
        QVERIFY(form->isVisible());
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().startsWith("Cannot create file \"programy.tv\". "));

        // Asked to end from outside, nobody would answer a box: it ends, and says it lost
        // the changes.
        QVERIFY(!form->lostChanges());
        form->endFromOutside();
        QVERIFY(!form->isVisible());
        QCOMPARE(closed.size(), 1);
        QCOMPARE(errors.size(), 1);
        QVERIFY(form->lostChanges());
        QVERIFY(QDir().mkpath(path)); // let the temporary folder clean up
    }

    // What the engine reports lands in the controls that show it: the log, the statistics,
    // the progress bar and its caption (a name like "tv%1" stays a name).
    void engineReportsReachTheControls()
    {
        auto form = makeForm();
        UpdateEngine* engine = form->engine();
        emit engine->logged({QStringLiteral(".mrowka: one"), QStringLiteral(".mrowka: two")});
        QCOMPARE(in<DebugLog>(form, "Memo2")->toPlainText(),
                 QStringLiteral(".mrowka: one\n.mrowka: two"));
        emit engine->pobranoChanged(QStringLiteral("Pobrano: 1 kB | 0 MB"));
        emit engine->aktChanged(QStringLiteral("Udane aktualizacje: 1 razy"));
        QCOMPARE(in<QAction>(form, "pobrano")->text(), QStringLiteral("Pobrano: 1 kB | 0 MB"));
        QCOMPARE(in<QAction>(form, "akt")->text(), QStringLiteral("Udane aktualizacje: 1 razy"));
        emit engine->downloadProgress("tv%1", 5120, 20480);
        QCOMPARE(in<QLabel>(form, "xxx")->text(), QStringLiteral("Aktualizuje tv%1 5120/20480"));
        QCOMPARE(in<SegmentBar>(form, "pb")->max(), 20480);
        QCOMPARE(in<SegmentBar>(form, "pb")->position(), 5120);
    }

    void nowPlayingListButtons()
    {
        auto form = makeForm();
        QTest::mouseClick(in<QPushButton>(form, "Button2"), Qt::LeftButton);
        QCOMPARE(nowPlaying(form), QStringList{"Fake program ;]"});
        // A click with no line selected copies nothing.
        in<DebugArea>(form, "debugArea")->iloscClick();
        QVERIFY(in<QLineEdit>(form, "Edit1")->text().isEmpty());
        auto* ilosc = in<QListView>(form, "ilosc");
        ilosc->setCurrentIndex(ilosc->model()->index(0, 0));
        QCOMPARE(in<QLineEdit>(form, "Edit1")->text(), QStringLiteral("Fake program ;]"));
        QTest::mouseClick(in<QPushButton>(form, "Button1"), Qt::LeftButton);
        QCOMPARE(nowPlaying(form).size(), 0);
    }

    void trayMenuHasItsItems()
    {
        auto form = makeForm();
        QStringList captions;
        for (QAction* action : in<QMenu>(form, "PopupMenu1")->actions())
            captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(captions, (QStringList{"ekranik - konfiguracja", "-", "Ustawienia", "Statystyki",
                                        "Częstotliwość aktualizacji", "Koniec"}));
        QVERIFY(!in<QMenu>(form, "PopupMenu1")->actions().first()->isEnabled());
        QVERIFY(!in<QAction>(form, "pobrano")->isEnabled() &&
                !in<QAction>(form, "akt")->isEnabled());
        QCOMPARE(in<QMenu>(form, "Czstotliwo1")->defaultAction(),
                 in<QAction>(form, "Normalnie20s1"));
        QCOMPARE(in<QMenu>(form, "Czstotliwo1")->actions().size(), 8);
        QVERIFY(!in<QMenu>(form, "Czstotliwo1")->actions().last()->isEnabled());

        // The frequency in force is checked, the normal one until another is picked.
        const auto checkedFrequencies = [&] {
            QStringList names;
            for (QAction* action : in<QMenu>(form, "Czstotliwo1")->actions()) {
                if (action->isChecked())
                    names << action->objectName();
            }
            return names;
        };
        QCOMPARE(checkedFrequencies(), QStringList{"Normalnie20s1"});
        in<QAction>(form, "Wolno40s1")->trigger();
        QCOMPARE(checkedFrequencies(), QStringList{"Wolno40s1"});
        QCOMPARE(form->engine()->state().frequencyKeyword, QStringLiteral("slow"));
        in<QAction>(form, "Wolno40s1")->trigger(); // picked again, still the one
        QCOMPARE(checkedFrequencies(), QStringList{"Wolno40s1"});
        QCOMPARE(in<QMenu>(form, "Czstotliwo1")->defaultAction(),
                 in<QAction>(form, "Normalnie20s1"));

        // The display modes: exactly one checked.
        QVERIFY(in<QAction>(form, "c1")->isChecked() && !in<QAction>(form, "c2")->isChecked());
        in<QAction>(form, "c2")->trigger();
        QVERIFY(!in<QAction>(form, "c1")->isChecked() && in<QAction>(form, "c2")->isChecked());
        in<QAction>(form, "c2")->trigger();
        QVERIFY(in<QAction>(form, "c2")->isChecked());

        // "[ok]" hides the window to the tray, "Ustawienia" brings it back.
        const bool trayThere = true;
        desktopHasTray(form, trayThere);
        form->Label5Click();
        QVERIFY(!form->isVisible());
        in<QAction>(form, "Ustawienia1")->trigger();
        QVERIFY(form->isVisible());
    }

    // "[ok]" hides the main window to the tray; during the hot start it also says the list is
    // on its way.
    void okDuringAndAfterTheHotStart()
    {
        auto form = makeForm();
        const bool trayThere = true;
        desktopHasTray(form, trayThere);
        in<QAction>(form, "UstawieniaRadudoVorozu1")->trigger();
        form->Label5Click();
        QVERIFY(!form->isVisible());
        QVERIFY(!control<QWidget>(form.get(), "acset")->isVisible());
        auto* ico = in<TrayIcon>(form, "ico");
        QCOMPARE(ico->lastBalloon(),
                 (TrayIcon::Balloon{QStringLiteral("ekranik"),
                                    QStringLiteral("Aktualizacja w toku, proszę chwile poczekać "
                                                   "zanim pojawią się pierwsze efekty (średnio 30 "
                                                   "sekund)..."),
                                    TrayIcon::BalloonIcon::Info, 10000}));
        for (int tick = 0; tick <= 13; ++tick) // nothing checked: the 14th tick wraps
            form->engine()->Timer1Timer();
        QVERIFY(!form->engine()->state().hotStart);
        in<QAction>(form, "Ustawienia1")->trigger();
        QVERIFY(form->isVisible());
        form->Label5Click();
        QVERIFY(!form->isVisible());
        QCOMPARE(ico->balloonsShown(), 1);
    }

    // Without a tray "[ok]" minimises the window, which the user can still reach, and the
    // debug area says why, once; a tray that turns up later takes the window again.
    void okWithoutATray()
    {
        auto form = makeForm();
        bool trayThere = false;
        desktopHasTray(form, trayThere);
        for (int round = 0; round < 2; ++round) {
            form->Label5Click();
            QVERIFY(form->isVisible());
            QVERIFY(form->isMinimized());
            in<QAction>(form, "Ustawienia1")->trigger();
            QVERIFY(!form->isMinimized());
        }
        const QString log = in<DebugLog>(form, "Memo2")->toPlainText();
        QCOMPARE(log.count(QStringLiteral(".mrowka: Brak obszaru powiadomień")), 1);

        trayThere = true;
        form->Label5Click();
        QVERIFY(!form->isVisible());
    }

    // The engine's complete list goes where the display mode says, and its clock to the
    // widget.
    void publicationFollowsTheDisplayMode()
    {
        auto form = makeForm();
        Form2 widget;
        form->setWidget(&widget);
        UpdateEngine* engine = form->engine();
        emit engine->clockChanged(QStringLiteral("20 : 05 | środa"));
        QCOMPARE(control<QLabel>(&widget, "hur")->text(), QStringLiteral("20 : 05 | środa"));
        emit engine->publishable({"s1.tv : 20:00 - Film"}, QStringLiteral("20 : 05 | środa"));
        QVERIFY(widget.isVisible());
        in<QAction>(form, "c2")->trigger();
        emit engine->publishable({"s1.tv : 20:00 - Film"}, QStringLiteral("20 : 05 | środa"));
        QVERIFY(!widget.isVisible());
        QCOMPARE(in<TrayIcon>(form, "ico")->lastBalloon().text,
                 QStringLiteral("s1.tv : 20:00 - Film\r\n"));
    }

    void debugAccessWordShowsTheDebugArea()
    {
        auto form = makeForm();
        Okienko dialog(form.get());
        form->setDialog(&dialog);
        QTimer::singleShot(0, &dialog, [&] {
            QCOMPARE(control<QLabel>(&dialog, "d")->text(), Okienko::kAddStation);
            QCOMPARE(control<QLabel>(&dialog, "a")->text(),
                     QStringLiteral("Budowa: nazwa.stacji.tv|http://adres.do.stacji"));
            control<QLineEdit>(&dialog, "b")->setText(QStringLiteral("mrowka"));
            dialog.okbutClick();
            QVERIFY(dialog.isVisible());
            QCOMPARE(form->height(), 645);
            QVERIFY(form->mask().contains(QPoint(100, 620))); // the shape grew with it
            control<QLineEdit>(&dialog, "b")
                ->setText(QStringLiteral("nazwa.stacji.tv|http://adres.do.stacji"));
            dialog.okbutClick();
        });
        form->addClick();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(in<StationListBox>(form, "programy")->stations().last(),
                 QByteArray("nazwa.stacji.tv|http://adres.do.stacji"));
        QCOMPARE(in<StationListBox>(form, "programy")->checkMarks().last(), false);
    }

    void doubleClickShowsTheAddress()
    {
        auto form = makeForm();
        Okienko dialog(form.get());
        form->setDialog(&dialog);

        // Nothing selected: the index error, and no dialog.
        bool opened = false;
        QTimer::singleShot(0, &dialog, [&] {
            opened = dialog.isVisible();
            dialog.close();
        });
        form->programyDblClick();
        QCOMPARE(errors, QStringList{"List index out of bounds (-1)"});
        QTest::qWait(1);
        QVERIFY(!opened);

        in<StationListBox>(form, "programy")->setCurrentRow(1);
        QTimer::singleShot(0, &dialog, [&] {
            QCOMPARE(control<QLabel>(&dialog, "d")->text(), QStringLiteral("Program TV na dziś"));
            QCOMPARE(control<QLabel>(&dialog, "a")->text(),
                     QStringLiteral("Adres do aktualnego programu"));
            QVERIFY(control<QLineEdit>(&dialog, "b")
                        ->text()
                        .endsWith("/.?&T%5Bstation%5D=5&T%5Bcategory%5D=ALL&T%5Btime%5D=0"));
            control<QLineEdit>(&dialog, "b")->setText(QStringLiteral("edited|http://elsewhere"));
            dialog.okbutClick();
        });
        form->programyDblClick();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(in<StationListBox>(form, "programy")->stations().size(), 13);
        QVERIFY(in<StationListBox>(form, "programy")->stations().at(1).startsWith("polsat.tv|"));
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
        QTest::newRow("station list") << "programy" << int(Qt::LeftButton) << false;
        QTest::newRow("ok label") << "Label5" << int(Qt::LeftButton) << false;
    }

    void draggingMovesTheWindow()
    {
        QFETCH(QString, from);
        QFETCH(int, button);
        QFETCH(bool, moves);
        auto form = makeForm();
        QWidget* widget = form.get();
        if (from == "Label4")
            widget = in<QLabel>(form, "Label4");
        else if (from == "ver")
            widget = in<QLabel>(form, "ver");
        else if (from == "Label2") {
            control<QWidget>(form.get(), "acset")->show();
            widget = in<QLabel>(form, "Label2");
        } else if (from == "programy")
            widget = in<StationListBox>(form, "programy")->viewport();
        else if (from == "Label5")
            widget = in<ClickLabel>(form, "Label5");
        else
            QVERIFY(!form->childAt(5, 100)); // background at (5, 100)
        const QPoint before = form->pos();
        if (widget == form.get()) {
            const QPoint global = form->mapToGlobal(QPoint(5, 100));
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 100), QPointF(global),
                              Qt::MouseButton(button), Qt::MouseButton(button), Qt::NoModifier);
            QApplication::sendEvent(form.get(), &press);
            QMouseEvent move(QEvent::MouseMove, QPointF(45, 130), QPointF(global + QPoint(40, 30)),
                             Qt::NoButton, Qt::MouseButton(button), Qt::NoModifier);
            QApplication::sendEvent(form.get(), &move);
            QMouseEvent release(QEvent::MouseButtonRelease, QPointF(45, 130),
                                QPointF(global + QPoint(40, 30)), Qt::MouseButton(button),
                                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(form.get(), &release);
        } else {
            dragBy(widget, Qt::MouseButton(button), QPoint(40, 30));
        }
        QCOMPARE(form->pos() - before, moves ? QPoint(40, 30) : QPoint(0, 0));
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
