// The channel picker as the user works it: searching by typing, ticking with Space or the
// mouse, confirming and cancelling, the states the portal reports, and the first start with no
// listings source.

#include "picker/channelpicker.h"
#include "support/controls.h"
#include "text/win1250.h"
#include "widgets/look.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

using Lines = QList<QByteArray>;

namespace {

PortalChannel channel(const QString& name, const QByteArray& file)
{
    PortalChannel made;
    made.id = name;
    made.names = {name};
    made.station = *unicodeToWin1250(QString::fromUtf8(file)) + "|http://127.0.0.1:8080/" + file;
    return made;
}

PortalChannels ready()
{
    PortalChannels answer;
    answer.state = PortalChannels::State::Ready;
    answer.channels = {channel(QStringLiteral("TVP 1"), "tvp1.tv"),
                       channel(QStringLiteral("TVN"), "tvn.tv"),
                       channel(QStringLiteral("TVP3 Łódź"), "tvp3.łódź.tv"),
                       channel(QStringLiteral("Polsat"), "polsat.tv")};
    return answer;
}

const QByteArray kTvp1 = "tvp1.tv|http://127.0.0.1:8080/tvp1.tv";
const QByteArray kTvn = "tvn.tv|http://127.0.0.1:8080/tvn.tv";
const QByteArray kLodz = *unicodeToWin1250(QStringLiteral("tvp3.łódź.tv")) +
                         "|http://127.0.0.1:8080/" + QByteArray("tvp3.łódź.tv");

QStringList shownNames(ChannelPicker& picker)
{
    const QAbstractItemModel* rows = control<QTreeView>(&picker, "channels")->model();
    QStringList names;
    for (int row = 0; row < rows->rowCount(); ++row)
        names << rows->index(row, 0).data().toString();
    return names;
}

} // namespace

class TestChannelPicker : public QObject {
    Q_OBJECT

    std::unique_ptr<ChannelPicker> picker;

    // A picker with the portal's four channels, shown, with the kept source given.
    ChannelPicker& open(const QStringList& sources = {QStringLiteral("/home/u/tv.xml")})
    {
        picker = std::make_unique<ChannelPicker>();
        picker->setSources(sources);
        picker->setDemoListings(QStringLiteral("/usr/share/ekranik/demo.xml"));
        picker->setStations({kTvp1, kTvn}, {true, false});
        picker->showChannels(ready());
        picker->show();
        if (!QTest::qWaitForWindowActive(picker.get()))
            qFatal("the picker never became active");
        return *picker;
    }

private slots:
    void initTestCase() { installFontFallbacks(); }
    void cleanup() { picker.reset(); }

    void titleAndListedChannels()
    {
        ChannelPicker& dialog = open();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Wybierz kanały"));
        QCOMPARE(shownNames(dialog), (QStringList{"TVP 1", "TVN", "TVP3 Łódź", "Polsat"}));
        // Checked in the station list: ticked; listed but unchecked, or not listed: not.
        const QAbstractItemModel* rows = control<QTreeView>(&dialog, "channels")->model();
        QList<int> ticks;
        for (int row = 0; row < rows->rowCount(); ++row)
            ticks << rows->index(row, 0).data(Qt::CheckStateRole).toInt();
        QCOMPARE(ticks, (QList<int>{Qt::Checked, Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));
    }

    // Typing anywhere searches, Polish letters typed plain; Space ticks the channel found and
    // Enter confirms. Listed channels left as they were are not picked again.
    void typeSpaceEnterPicks_data()
    {
        QTest::addColumn<QString>("typedInto");
        QTest::newRow("the list") << "channels";
        QTest::newRow("a button") << "load";
        QTest::newRow("the search field") << "search";
    }

    void typeSpaceEnterPicks()
    {
        QFETCH(QString, typedInto);
        ChannelPicker& dialog = open();
        QSignalSpy picked(&dialog, &ChannelPicker::picked);
        QTest::keyClicks(control<QWidget>(&dialog, qPrintable(typedInto)), QStringLiteral("LODZ"));
        QCOMPARE(control<QLineEdit>(&dialog, "search")->text(), QStringLiteral("LODZ"));
        QCOMPARE(shownNames(dialog), QStringList{"TVP3 Łódź"});
        QTest::keyClick(control<QTreeView>(&dialog, "channels"), Qt::Key_Space);
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
        QCOMPARE(picked.size(), 1);
        QCOMPARE(picked.first().at(0).value<Lines>(), Lines{kLodz});
        QCOMPARE(picked.first().at(1).value<Lines>(), Lines{});
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    // An arrow takes the search field's first find into the list, where the arrows move and
    // Space ticks; ticking twice is no tick at all.
    void arrowsMoveIntoTheList()
    {
        ChannelPicker& dialog = open();
        QSignalSpy picked(&dialog, &ChannelPicker::picked);
        auto* search = control<QLineEdit>(&dialog, "search");
        search->setFocus();
        QTest::keyClick(search, Qt::Key_Down);
        auto* view = control<QTreeView>(&dialog, "channels");
        QCOMPARE(dialog.focusWidget(), view);
        QCOMPARE(view->currentIndex().data().toString(), QStringLiteral("TVP 1"));
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Space); // TVN
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Space); // TVP3 Łódź, on
        QTest::keyClick(view, Qt::Key_Space); // and off
        QTest::mouseClick(control<QPushButton>(&dialog, "ok"), Qt::LeftButton);
        QCOMPARE(picked.size(), 1);
        QCOMPARE(picked.first().at(0).value<Lines>(), Lines{kTvn});
    }

    void escapeAndCancelPickNothing_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Escape") << true;
        QTest::newRow("Cancel") << false;
    }

    void escapeAndCancelPickNothing()
    {
        QFETCH(bool, escape);
        ChannelPicker& dialog = open();
        QSignalSpy picked(&dialog, &ChannelPicker::picked);
        QTest::keyClick(control<QTreeView>(&dialog, "channels"), Qt::Key_Space);
        if (escape)
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Escape);
        else
            QTest::mouseClick(control<QPushButton>(&dialog, "cancel"), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(picked.isEmpty());
    }

    // Unticking a checked station, with the mouse, gives it as unchecked.
    void untickingAListedChannel()
    {
        ChannelPicker& dialog = open();
        QSignalSpy picked(&dialog, &ChannelPicker::picked);
        auto* view = control<QTreeView>(&dialog, "channels");
        const QRect first = view->visualRect(view->model()->index(0, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          QPoint(first.left() + 10, first.center().y()));
        QCOMPARE(view->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QTest::mouseClick(control<QPushButton>(&dialog, "ok"), Qt::LeftButton);
        QCOMPARE(picked.size(), 1);
        QCOMPARE(picked.first().at(0).value<Lines>(), Lines{});
        QCOMPARE(picked.first().at(1).value<Lines>(), Lines{kTvp1});
    }

    // What the portal reports shows in the state line; only a ready answer changes the list.
    void portalStates()
    {
        ChannelPicker& dialog = open();
        auto* state = control<QLabel>(&dialog, "state");
        QVERIFY(!state->isVisible());

        PortalChannels failed;
        failed.state = PortalChannels::State::Failed;
        failed.problems = {{QStringLiteral("/home/u/tv.xml"), 12,
                            QStringLiteral("Plik nie jest poprawnym XML-em: błąd w wierszu 12.")},
                           {QStringLiteral("https://u:***@h/b.xml"), 0,
                            QStringLiteral("Serwer odpowiedział 404.")}};
        dialog.showChannels(failed);
        QVERIFY(state->isVisible());
        QCOMPARE(state->text(), QStringLiteral("/home/u/tv.xml: Plik nie jest poprawnym XML-em: "
                                               "błąd w wierszu 12.\nhttps://u:***@h/b.xml: "
                                               "Serwer odpowiedział 404."));
        QCOMPARE(shownNames(dialog).size(), 4);

        dialog.showFailure(QStringLiteral("Nie udało się pobrać listy kanałów."));
        QCOMPARE(state->text(), QStringLiteral("Nie udało się pobrać listy kanałów."));
        QCOMPARE(shownNames(dialog).size(), 4);

        PortalChannels reading;
        dialog.showChannels(reading);
        QCOMPARE(state->text(), QStringLiteral("Wczytywanie programu…"));
        QCOMPARE(shownNames(dialog).size(), 4);

        PortalChannels one = ready();
        one.channels.resize(1);
        dialog.showChannels(one);
        QVERIFY(!state->isVisible());
        QCOMPARE(shownNames(dialog), QStringList{"TVP 1"});
    }

    // With no source yet, the picker asks for one and offers the made-up listings; with one,
    // Wczytaj and Enter in the field load it, and the dialog stays open for the channels.
    void sources()
    {
        {
            ChannelPicker& dialog = open({});
            QSignalSpy wanted(&dialog, &ChannelPicker::loadWanted);
            QCOMPARE(dialog.focusWidget(), control<QLineEdit>(&dialog, "source"));
            QVERIFY(control<QLabel>(&dialog, "hint")->isVisible());
            QVERIFY(control<QLabel>(&dialog, "hint")->text().contains("tv_grab_pl"));
            auto* demo = control<QPushButton>(&dialog, "demo");
            QVERIFY(demo->isVisible());
            QVERIFY(demo->toolTip().contains(QStringLiteral("Zmyślony")));
            QTest::mouseClick(demo, Qt::LeftButton);
            QCOMPARE(wanted.size(), 1);
            QCOMPARE(wanted.first().at(0).toStringList(),
                     QStringList{"/usr/share/ekranik/demo.xml"});
        }
        ChannelPicker& dialog = open();
        QSignalSpy wanted(&dialog, &ChannelPicker::loadWanted);
        QVERIFY(!control<QLabel>(&dialog, "hint")->isVisible());
        QVERIFY(!control<QPushButton>(&dialog, "demo")->isVisible());
        auto* source = control<QLineEdit>(&dialog, "source");
        QCOMPARE(source->text(), QStringLiteral("/home/u/tv.xml"));
        QTest::mouseClick(control<QPushButton>(&dialog, "load"), Qt::LeftButton);
        source->setText(QStringLiteral("https://example.org/tv.xml.gz"));
        QTest::keyClick(source, Qt::Key_Return);
        QCOMPARE(wanted.size(), 2);
        QCOMPARE(wanted.at(0).at(0).toStringList(), QStringList{"/home/u/tv.xml"});
        QCOMPARE(wanted.at(1).at(0).toStringList(), QStringList{"https://example.org/tv.xml.gz"});
        QVERIFY(dialog.isVisible());
        QCOMPARE(control<QLabel>(&dialog, "state")->text(),
                 QStringLiteral("Wczytywanie programu…"));
    }
};

QTEST_MAIN(TestChannelPicker)
#include "tst_channelpicker.moc"
