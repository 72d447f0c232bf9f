// The publication step: a complete now-playing list goes to the desktop widget, or into a
// balloon at the tray icon; with nothing to say in balloon mode, nothing is said.

#include "display/form2.h"
#include "display/publisher.h"
#include "support/controls.h"
#include "tray/trayicon.h"
#include "widgets/look.h"

#include <QListWidget>
#include <QTest>

class TestPublisher : public QObject {
    Q_OBJECT

    const QList<QByteArray> lines{"s1.tv : 20:00 - Film", "s2.tv : 20:00 - Film"};
    const QString clock = QStringLiteral("20 : 05 | środa");

private slots:
    void initTestCase() { installFontFallbacks(); }

    // Widget mode fills the widget's list and shows it; balloon mode hides the widget and puts
    // the lines, each ended by CR LF, into an information balloon for 11 seconds, again at
    // every publication. A new mode waits for the next publication.
    void widgetAndBalloon()
    {
        Form2 widget;
        TrayIcon tray(nullptr);
        tray.setIconVisible(true);
        Publisher publisher(&widget, &tray);
        publisher.publish(lines, clock);
        QVERIFY(widget.isVisible());
        auto* list = control<QListWidget>(&widget, "b");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), QStringLiteral("s2.tv : 20:00 - Film"));

        publisher.setMode(Publisher::Mode::Balloon);
        QVERIFY(widget.isVisible());
        publisher.publish(lines, clock);
        QVERIFY(!widget.isVisible());
        QCOMPARE(
            tray.lastBalloon(),
            (TrayIcon::Balloon{QStringLiteral("ekranik, 20 : 05 | środa"),
                               QStringLiteral("s1.tv : 20:00 - Film\r\ns2.tv : 20:00 - Film\r\n"),
                               TrayIcon::BalloonIcon::Info, 11000}));
        publisher.publish(lines, clock);
        QCOMPARE(tray.balloonsShown(), 2);

        publisher.setMode(Publisher::Mode::Widget);
        publisher.publish(lines, clock);
        QVERIFY(widget.isVisible());
    }

    // With nothing checked the empty list is complete: an empty widget, or in balloon mode no
    // balloon at all, and one still up from before goes.
    void emptyList()
    {
        Form2 widget;
        TrayIcon tray(nullptr);
        tray.setIconVisible(true);
        Publisher publisher(&widget, &tray);
        publisher.publish({}, clock);
        QVERIFY(widget.isVisible());
        QCOMPARE(control<QListWidget>(&widget, "b")->count(), 0);

        publisher.setMode(Publisher::Mode::Balloon);
        tray.ShowBalloonHint(QStringLiteral("ekranik"), QStringLiteral("earlier"),
                             TrayIcon::BalloonIcon::Info, 10);
        publisher.publish({}, clock);
        publisher.publish({}, clock);
        QVERIFY(!widget.isVisible());
        QCOMPARE(tray.balloonsShown(), 1);
        QCOMPARE(tray.postedMessages().last(), TrayIcon::Balloon{});
    }
};

QTEST_MAIN(TestPublisher)
#include "tst_publisher.moc"
