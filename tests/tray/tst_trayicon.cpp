// There is no tray on the offscreen platform, so the tests stand in for the window system: they
// emit the QSystemTrayIcon's own activated() and messageClicked() signals, read back what the
// component pushed to it, and say whether the desktop has a tray (it has, unless a test says
// otherwise).
#include "tray/trayicon.h"

#include <QAction>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTest>
#include <QWidget>

namespace {

using Reason = QSystemTrayIcon::ActivationReason;

QIcon colourIcon(Qt::GlobalColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

QList<QIcon> icons(int count)
{
    QList<QIcon> list;
    for (int i = 0; i < count; ++i)
        list << colourIcon(Qt::GlobalColor(Qt::red + i));
    return list;
}

struct Fixture {
    QWidget window;
    QMenu menu;
    QAction* defaultAction = menu.addAction(QStringLiteral("Pokaż"));
    TrayIcon tray{&window};
    bool trayThere = true;

    Fixture()
    {
        menu.setDefaultAction(defaultAction);
        tray.setIcon(colourIcon(Qt::darkGreen));
        tray.setTrayCheck([this] { return trayThere; });
    }
    QSystemTrayIcon* systemIcon() { return tray.findChild<QSystemTrayIcon*>(); }
    void windowSystem(Reason reason) { emit systemIcon()->activated(reason); }
    qint64 shownIcon() const { return tray.systemTrayIcon().icon().cacheKey(); }
};

} // namespace

Q_DECLARE_METATYPE(Reason)

class TestTrayIcon : public QObject {
    Q_OBJECT

private slots:
    void hintLimit_data()
    {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("showHint");
        QTest::addColumn<QString>("tip");

        const QString h200 = QString(200, u'h');
        QTest::newRow("cut to 127") << h200 << true << h200.left(127);
        QTest::newRow("127 kept") << h200.left(127) << true << h200.left(127);
        QTest::newRow("tips hidden") << h200 << false << QString();
        QTest::newRow("empty hint") << QString() << true << QString();
    }

    void hintLimit()
    {
        QFETCH(QString, hint);
        QFETCH(bool, showHint);
        QFETCH(QString, tip);

        Fixture f;
        f.tray.setShowHint(!showHint);
        f.tray.setHint(hint);
        f.tray.setShowHint(showHint); // a ShowHint change alone updates the tip
        QCOMPARE(f.tray.systemTrayIcon().toolTip(), tip);
    }

    void balloon_data()
    {
        QTest::addColumn<bool>("iconVisible");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("timeoutMs");

        QTest::newRow("cut to limits") << true << 11 << 1 << 11000;
        QTest::newRow("timeout above 255 s") << true << 300 << 1 << 255000;
        QTest::newRow("negative timeout") << true << -5 << 1 << 0;
        QTest::newRow("icon not visible") << false << 11 << 0 << 0;
    }

    void balloon()
    {
        QFETCH(bool, iconVisible);
        QFETCH(int, timeout);
        QFETCH(int, shown);
        QFETCH(int, timeoutMs);

        Fixture f;
        f.tray.setIconList(icons(2));
        const bool trayThere = QSystemTrayIcon::isSystemTrayAvailable();
        QCOMPARE(f.tray.setIconVisible(iconVisible), trayThere);
        QCOMPARE(f.tray.systemTrayIcon().isVisible(), iconVisible);

        const bool result = f.tray.ShowBalloonHint(QString(80, u't'), QString(300, u'x'),
                                                   TrayIcon::BalloonIcon::Warning, timeout);
        QCOMPARE(result, iconVisible && trayThere && QSystemTrayIcon::supportsMessages());
        QCOMPARE(f.tray.balloonsShown(), shown);
        const TrayIcon::Balloon expected{QString(63, u't'), QString(255, u'x'),
                                         TrayIcon::BalloonIcon::Warning, timeoutMs};
        if (shown)
            QCOMPARE(f.tray.lastBalloon(), expected);

        // Later changes of the icon do not bring the balloon back.
        f.tray.setHint(QStringLiteral("ekranik"));
        f.tray.setShowHint(false);
        f.tray.setIcon(colourIcon(Qt::blue));
        f.tray.setIconIndex(1);
        f.tray.setIconVisible(false);
        f.tray.setIconVisible(true);
        QCOMPARE(f.tray.balloonsShown(), shown);
    }

    // Qt's own tip is closed by an empty message, before the next balloon and on hiding;
    // where balloons are desktop notifications no empty message is ever posted.
    void hidingABalloon_data()
    {
        QTest::addColumn<TrayIcon::BalloonStyle>("style");
        QTest::addColumn<QStringList>("posted");
        QTest::newRow("own tip") << TrayIcon::BalloonStyle::OwnTip
                                 << QStringList{"first|text", "|", "second|text", "|"};
        QTest::newRow("notifications")
            << TrayIcon::BalloonStyle::Notification << QStringList{"first|text", "second|text"};
    }

    void hidingABalloon()
    {
        QFETCH(TrayIcon::BalloonStyle, style);
        QFETCH(QStringList, posted);
        Fixture f;
        f.tray.setIconVisible(true);
        f.tray.setBalloonStyle(style);
        f.tray.HideBalloonHint(); // nothing is up: nothing to close
        for (const QString& title : {QStringLiteral("first"), QStringLiteral("second")})
            f.tray.ShowBalloonHint(title, QStringLiteral("text"), TrayIcon::BalloonIcon::Info, 5);
        f.tray.HideBalloonHint();
        f.tray.HideBalloonHint();
        QStringList messages;
        for (const TrayIcon::Balloon& message : f.tray.postedMessages())
            messages << message.title + u'|' + message.text;
        QCOMPARE(messages, posted);
    }

    void iconIndexClamp_data()
    {
        QTest::addColumn<int>("listSize");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("expected");

        QTest::newRow("beyond the list") << 3 << 10 << 2;
        QTest::newRow("at the count") << 3 << 3 << 2;
        QTest::newRow("negative") << 3 << -4 << 0;
        QTest::newRow("inside") << 3 << 1 << 1;
        QTest::newRow("no list") << 0 << 5 << 0;
    }

    void iconIndexClamp()
    {
        QFETCH(int, listSize);
        QFETCH(int, index);
        QFETCH(int, expected);

        Fixture f;
        const QIcon own = f.tray.Icon();
        const QList<QIcon> list = icons(listSize);
        f.tray.setIconList(list);
        f.tray.setIconIndex(index);
        QCOMPARE(f.tray.IconIndex(), expected);
        QCOMPARE(f.shownIcon(), listSize ? list[expected].cacheKey() : own.cacheKey());

        // A new list starts again at its first image.
        const QList<QIcon> next = icons(2);
        f.tray.setIconList(next);
        QCOMPARE(f.tray.IconIndex(), 0);
        QCOMPARE(f.shownIcon(), next[0].cacheKey());
    }

    void mouseRules_data()
    {
        QTest::addColumn<Reason>("reason");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("leftPopup");
        QTest::addColumn<bool>("withMenu");
        QTest::addColumn<int>("button"); // OnMouseDown's button, 0 for none
        QTest::addColumn<int>("clicks");
        QTest::addColumn<bool>("menuOpens");
        QTest::addColumn<bool>("defaultRuns");

        const int l = Qt::LeftButton, r = Qt::RightButton, m = Qt::MiddleButton;
        // clang-format off
        QTest::newRow("right") << Reason::Context << true << false << true << r << 0 << true << false;
        QTest::newRow("right, left popup") << Reason::Context << true << true << true << r << 0 << true << false;
        QTest::newRow("right, no menu") << Reason::Context << true << false << false << r << 0 << false << false;
        QTest::newRow("left") << Reason::Trigger << true << false << true << l << 1 << false << false;
        QTest::newRow("left, left popup") << Reason::Trigger << true << true << true << l << 1 << true << false;
        QTest::newRow("double") << Reason::DoubleClick << true << false << true << 0 << 0 << false << true;
        QTest::newRow("double, left popup") << Reason::DoubleClick << true << true << true << 0 << 0 << false << false;
        QTest::newRow("middle") << Reason::MiddleClick << true << true << true << m << 0 << false << false;
        QTest::newRow("disabled right") << Reason::Context << false << false << true << 0 << 0 << false << false;
        QTest::newRow("disabled left") << Reason::Trigger << false << true << true << 0 << 0 << false << false;
        QTest::newRow("disabled double") << Reason::DoubleClick << false << false << true << 0 << 0 << false << false;
        QTest::newRow("disabled middle") << Reason::MiddleClick << false << false << true << 0 << 0 << false << false;
        // clang-format on
    }

    void mouseRules()
    {
        QFETCH(Reason, reason);
        QFETCH(bool, enabled);
        QFETCH(bool, leftPopup);
        QFETCH(bool, withMenu);
        QFETCH(int, button);
        QFETCH(int, clicks);
        QFETCH(bool, menuOpens);
        QFETCH(bool, defaultRuns);

        Fixture f;
        f.tray.setEnabled(enabled);
        f.tray.setLeftPopup(leftPopup);
        f.tray.setPopupMenu(withMenu ? &f.menu : nullptr);
        QSignalSpy down(&f.tray, &TrayIcon::OnMouseDown);
        QSignalSpy click(&f.tray, &TrayIcon::OnClick);
        QSignalSpy defaultAction(f.defaultAction, &QAction::triggered);
        QSignalSpy balloonClick(&f.tray, &TrayIcon::OnBalloonHintClick);

        f.windowSystem(reason);
        QCOMPARE(down.size(), button ? 1 : 0);
        if (button)
            QCOMPARE(down[0][0].value<Qt::MouseButton>(), Qt::MouseButton(button));
        QCOMPARE(click.size(), clicks); // nothing waits for a double click: no OnDblClick handler
        QCOMPARE(f.menu.isVisible(), menuOpens);
        QCOMPARE(defaultAction.size(), defaultRuns ? 1 : 0);

        // A click on a balloon arrives whatever Enabled says.
        emit f.systemIcon()->messageClicked();
        QCOMPARE(balloonClick.size(), 1);
    }

    void clickWaitsForDoubleClick_data()
    {
        QTest::addColumn<bool>("doubleClick");
        QTest::newRow("single click") << false;
        QTest::newRow("double click") << true;
    }

    void clickWaitsForDoubleClick()
    {
        QFETCH(bool, doubleClick);

        Fixture f;
        QSignalSpy click(&f.tray, &TrayIcon::OnClick);
        QSignalSpy dblClick(&f.tray, &TrayIcon::OnDblClick); // an OnDblClick handler
        QSignalSpy down(&f.tray, &TrayIcon::OnMouseDown);

        f.windowSystem(Reason::Trigger);
        QCOMPARE(down.size(), 1); // the press itself is reported at once
        QCOMPARE(click.size(), 0);
        if (doubleClick) {
            f.windowSystem(Reason::DoubleClick);
            QCOMPARE(dblClick.size(), 1);
            QVERIFY(!click.wait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 300));
        } else {
            QVERIFY(click.wait());
            QCOMPARE(click.size(), 1);
            QCOMPARE(dblClick.size(), 0);
        }
    }

    void cycling_data()
    {
        QTest::addColumn<int>("listSize");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("intervalAfterwards"); // CycleInterval set after CycleIcons
        QTest::addColumn<QList<int>>("next");

        QTest::newRow("wraps") << 3 << 5 << false << QList<int>{1, 2, 0, 1, 2, 0};
        QTest::newRow("interval set while on") << 2 << 5 << true << QList<int>{1, 0, 1};
        QTest::newRow("one image") << 1 << 5 << false << QList<int>{0, 0};
        QTest::newRow("interval 0") << 3 << 0 << false << QList<int>{};
        QTest::newRow("no list") << 0 << 5 << false << QList<int>{};
    }

    void cycling()
    {
        QFETCH(int, listSize);
        QFETCH(int, interval);
        QFETCH(bool, intervalAfterwards);
        QFETCH(QList<int>, next);

        Fixture f;
        const QList<QIcon> list = icons(listSize);
        f.tray.setIconList(list);
        f.tray.setIconIndex(2);
        QList<int> seen, indexDuring;
        connect(&f.tray, &TrayIcon::OnCycle, this, [&](int nextIndex) {
            seen << nextIndex;
            indexDuring << f.tray.IconIndex();
            QCOMPARE(f.tray.Icon().cacheKey(), list[f.tray.IconIndex()].cacheKey());
        });

        if (!intervalAfterwards)
            f.tray.setCycleInterval(interval);
        f.tray.setCycleIcons(true);
        QCOMPARE(f.tray.IconIndex(), 0);
        if (intervalAfterwards)
            f.tray.setCycleInterval(interval);
        f.tray.setIcon(colourIcon(Qt::blue)); // replaced by the list's image at the next step

        if (next.isEmpty()) {
            QTest::qWait(100);
            QVERIFY(seen.isEmpty());
            return;
        }
        QTRY_VERIFY(seen.size() >= next.size());
        f.tray.setCycleIcons(false);
        QCOMPARE(seen.mid(0, next.size()), next);
        for (int i = 1; i < next.size(); ++i)
            QCOMPARE(indexDuring[i], next[i - 1]); // each step goes on where the last one ended
        QCOMPARE(f.shownIcon(), list[seen.last()].cacheKey());

        const qsizetype stopped = seen.size();
        QTest::qWait(50);
        QCOMPARE(seen.size(), stopped);
    }

    void restoreMainWindow_data()
    {
        QTest::addColumn<bool>("minimised");
        QTest::addColumn<bool>("hidden");

        QTest::newRow("hidden") << false << true;
        QTest::newRow("minimised") << true << false;
        QTest::newRow("minimised and hidden") << true << true;
    }

    void restoreMainWindow()
    {
        QFETCH(bool, minimised);
        QFETCH(bool, hidden);

        Fixture f;
        QWidget other; // active meanwhile
        f.window.show();
        if (minimised)
            f.window.showMinimized();
        if (hidden)
            f.tray.HideMainWindow();
        QCOMPARE(f.window.isVisible(), !hidden);
        other.show();
        QVERIFY(QTest::qWaitForWindowActive(&other));

        f.tray.RestoreMainWindow();
        QVERIFY(f.window.isVisible());
        QVERIFY(!f.window.isMinimized());
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
    }

    void minimizeToTray_data()
    {
        QTest::addColumn<bool>("minimizeToTray");
        QTest::addColumn<bool>("trayThere");
        QTest::newRow("to the tray") << true << true;
        QTest::newRow("stays on screen") << false << true;
        QTest::newRow("no tray: stays minimised") << true << false;
    }

    void minimizeToTray()
    {
        QFETCH(bool, minimizeToTray);
        QFETCH(bool, trayThere);
        const bool toTray = minimizeToTray && trayThere;

        Fixture f;
        f.trayThere = trayThere;
        f.tray.setMinimizeToTray(minimizeToTray);
        QSignalSpy spy(&f.tray, &TrayIcon::OnMinimizeToTray);
        f.window.show();

        for (int round = 1; round <= 2; ++round) { // a restored window goes to the tray again
            f.window.showMinimized();
            QCoreApplication::processEvents();
            QCOMPARE(spy.size(), toTray ? round : 0);
            QCOMPARE(f.window.isVisible(), !toTray);
            QVERIFY(f.window.isMinimized() || toTray);
            QCOMPARE(f.tray.IconVisible(), toTray);
            QCOMPARE(f.tray.systemTrayIcon().isVisible(), toTray);
            f.tray.RestoreMainWindow();
            QVERIFY(f.window.isVisible());
        }
    }

    // Without a tray the main window is minimised rather than hidden, as an ordinary window that
    // the taskbar shows, and that is said once; a tray that turns up later takes it again, off
    // the taskbar, and one that goes away gives it back minimised.
    void withoutATray()
    {
        Fixture f;
        QSignalSpy noTray(&f.tray, &TrayIcon::noTrayFound);
        f.trayThere = false;
        f.tray.setIconVisible(true);
        f.window.setWindowFlag(Qt::Tool);
        f.window.show();
        for (int round = 1; round <= 2; ++round) {
            QVERIFY(!f.tray.HideMainWindow());
            QVERIFY(f.window.isVisible());
            QVERIFY(f.window.isMinimized());
            QVERIFY(!f.window.windowFlags().testFlag(Qt::Tool));
            f.tray.RestoreMainWindow();
            QVERIFY(!f.window.isMinimized());
        }
        QCOMPARE(noTray.size(), 1);

        f.trayThere = true;
        QVERIFY(f.tray.HideMainWindow());
        QVERIFY(!f.window.isVisible());
        QVERIFY(f.window.windowFlags().testFlag(Qt::Tool));
        f.trayThere = false;
        QTRY_VERIFY(f.window.isVisible());
        QVERIFY(f.window.isMinimized());
        QVERIFY(!f.window.windowFlags().testFlag(Qt::Tool));
        QCOMPARE(noTray.size(), 1);
    }
};

QTEST_MAIN(TestTrayIcon)
#include "tst_trayicon.moc"
