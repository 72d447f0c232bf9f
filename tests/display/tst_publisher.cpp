// The publication step: a complete now-playing list goes to the desktop widget, or into a
// balloon at the tray icon; with nothing to say in balloon mode, nothing is said.

#include "display/form2.h"
#include "display/publisher.h"
#include "support/controls.h"
#include "tray/trayicon.h"
#include "widgets/look.h"

#include <QListWidget>
#include <QLoggingCategory>
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

    // How far a programme has run: from its start to the next one's, across midnight too; a
    // moment a little before the start is the start, one long after the end the end.
    void doneAtTimes_data()
    {
        QTest::addColumn<QByteArray>("since");
        QTest::addColumn<QByteArray>("until");
        QTest::addColumn<QTime>("now");
        QTest::addColumn<std::optional<double>>("done");
        const auto at = [](int h, int m, int s = 0) { return QTime(h, m, s); };
        QTest::newRow("start") << QByteArray("20:00") << QByteArray("21:00") << at(20, 0)
                               << std::optional(0.0);
        QTest::newRow("a quarter")
            << QByteArray("20:00") << QByteArray("21:00") << at(20, 15) << std::optional(0.25);
        QTest::newRow("seconds count")
            << QByteArray("20:00") << QByteArray("20:01") << at(20, 0, 30) << std::optional(0.5);
        QTest::newRow("across midnight")
            << QByteArray("23:30") << QByteArray("00:30") << at(0, 0) << std::optional(0.5);
        QTest::newRow("a clock behind the page")
            << QByteArray("20:00") << QByteArray("21:00") << at(19, 58) << std::optional(0.0);
        QTest::newRow("a page not read again")
            << QByteArray("20:00") << QByteArray("21:00") << at(22, 30) << std::optional(1.0);
        QTest::newRow("no time on the page")
            << QByteArray("brak ") << QByteArray("21:00") << at(20, 30) << std::optional<double>();
        QTest::newRow("no such hour")
            << QByteArray("20:00") << QByteArray("25:00") << at(20, 30) << std::optional<double>();
        QTest::newRow("the same time")
            << QByteArray("20:00") << QByteArray("20:00") << at(20, 0) << std::optional<double>();
    }

    void doneAtTimes()
    {
        QFETCH(QByteArray, since);
        QFETCH(QByteArray, until);
        QFETCH(QTime, now);
        QFETCH(std::optional<double>, done);
        QCOMPARE(doneAt(since, until, now), done);
    }

    // With the next programme shown, the widget has a second row under each line that has
    // one, the log lists the rows as shown, and the tray tip has every line with what follows
    // it, from the moment it is chosen. Without it, the tip is the icon's own again, at once.
    void nowAndNext()
    {
        Form2 widget;
        WidgetLook look = widget.look();
        look.next = true;
        widget.setLook(look);
        TrayIcon tray(nullptr);
        tray.setHint(QStringLiteral("ekranik 2oo6"));
        QTime now(20, 15);
        Publisher publisher(&widget, &tray, [&now] { return now; });
        const QList<std::optional<NextUp>> next{NextUp{"20:00", {"21:00", "Sport"}}, std::nullopt};
        auto* list = control<QListWidget>(&widget, "b");
        publisher.publish(lines, clock, next);
        QVERIFY(list->item(0)->data(Qt::UserRole + 1).toString().isEmpty());
        QCOMPARE(tray.Hint(), QStringLiteral("ekranik 2oo6"));
        publisher.setShowsNext(true);
        QCOMPARE(list->item(0)->data(Qt::UserRole + 1).toString(),
                 QStringLiteral("następnie 21:00 Sport"));
        QLoggingCategory::setFilterRules(QStringLiteral("ekranik.publish.info=true"));
        for (const char* row :
             {"widget", "s1.tv : 20:00 - Film", "  następnie 21:00 Sport", "s2.tv : 20:00 - Film"})
            QTest::ignoreMessage(QtInfoMsg, row);
        publisher.publish(lines, clock, next);
        QLoggingCategory::setFilterRules(QString());
        QCOMPARE(list->item(0)->data(Qt::UserRole + 1).toString(),
                 QStringLiteral("następnie 21:00 Sport"));
        QCOMPARE(list->item(0)->data(Qt::UserRole + 2).toDouble(), 0.25);
        QVERIFY(list->item(1)->data(Qt::UserRole + 1).toString().isEmpty());
        QCOMPARE(tray.Hint(), QStringLiteral("s1.tv : 20:00 - Film\n  następnie 21:00 Sport\n"
                                             "s2.tv : 20:00 - Film"));

        now = QTime(20, 45);
        publisher.publish(lines, clock, next);
        QCOMPARE(list->item(0)->data(Qt::UserRole + 2).toDouble(), 0.75);
        publisher.setShowsNext(false);
        QCOMPARE(tray.Hint(), QStringLiteral("ekranik 2oo6"));
        publisher.setShowsNext(true);
        QVERIFY(tray.Hint().startsWith(u"s1.tv"));
    }
};

QTEST_MAIN(TestPublisher)
#include "tst_publisher.moc"
