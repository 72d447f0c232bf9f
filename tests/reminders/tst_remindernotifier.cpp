// The reminder before the start as it shows: a desktop notification where a server answers
// (a stand-in on a private session bus), its two actions, and the reminder window where none
// does; through the reminder search on a test clock.

#include "reminders/form3.h"
#include "reminders/remindernotifier.h"
#include "reminders/remindersearch.h"
#include "support/controls.h"
#include "support/notificationserver.h"
#include "support/privatebus.h"
#include "widgets/look.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

const QDate kDay(2026, 5, 14);

QDateTime at(int hour, int minute)
{
    return QDateTime(kDay, QTime(hour, minute));
}

} // namespace

class TestReminderNotifier : public QObject {
    Q_OBJECT

    std::unique_ptr<PrivateBus> bus;
    std::unique_ptr<NotificationServer> server;
    std::unique_ptr<Form3> window;
    std::unique_ptr<ReminderNotifier> notifier;
    std::unique_ptr<ReminderSearch> search;
    QDateTime now;
    QList<Broadcast> listings{
        {"tvp1.tv", at(20, 0), "Mecz: Polska - \xa3otwa"},
        {"tvp1.tv", at(21, 45), "Studio"},
        {"tvp1.tv", at(22, 30), "Mecz: Anglia - Polska"},
    };

    // One tick of the search at `time`; then the event loop runs until the server has heard
    // `notifications` in all, or the window shows.
    void tickAt(QDateTime time, qsizetype notifications)
    {
        now = std::move(time);
        search->szukajkaTimer();
        QTRY_COMPARE_WITH_TIMEOUT((server ? server->shown().size() : 0) + window->isVisible(),
                                  notifications, 10000);
    }

private slots:
    void initTestCase() { installFontFallbacks(); }

    void init()
    {
        bus = std::make_unique<PrivateBus>();
        QVERIFY(bus->isValid());
        server = std::make_unique<NotificationServer>(bus->connect(QStringLiteral("desktop")));
        QVERIFY(server->isServing());
        window = std::make_unique<Form3>();
        notifier = std::make_unique<ReminderNotifier>(bus->connect(QStringLiteral("ekranik")));
        search = std::make_unique<ReminderSearch>(
            nullptr, window.get(), notifier.get(), [this] { return listings; },
            [this] { return now; });
        search->armReminder("mecz", 10);
    }

    void cleanup()
    {
        search.reset();
        notifier.reset();
        window.reset();
        server.reset();
        bus.reset();
    }

    // Ten minutes before: one notification, with what it is and two actions; none at the next
    // ticks; the next broadcast of the title gets its own. The window stays hidden.
    void notifiesOncePerBroadcast()
    {
        tickAt(at(19, 49), 0);
        tickAt(at(19, 50), 1);
        const NotificationServer::Shown shown = server->shown().first();
        QCOMPARE(shown.summary, QStringLiteral("ekranik - Przypomnienie"));
        QCOMPARE(shown.body, QStringLiteral("tvp1.tv, 20:00\nMecz: Polska - Łotwa"));
        QCOMPARE(shown.actions,
                 (QStringList{"snooze", "Przypomnij za 5 min", "disarm", "Wyłącz przypomnienie"}));
        tickAt(at(19, 50), 1);
        tickAt(at(19, 59), 1);
        tickAt(at(22, 20), 2);
        QVERIFY(server->shown().last().body.endsWith(QStringLiteral("Anglia - Polska")));
        QVERIFY(!window->isVisible());
        QCOMPARE(search->armedKeyword(), QByteArray("mecz"));
    }

    // "&" and "<" in a title reach a server that reads markup escaped, and any other as they
    // are.
    void markupIsEscaped()
    {
        const QList<Broadcast> kept = listings;
        listings.first().title = "Mecz & <fina\xb3>";
        listings.last().title = "Mecz & <fina\xb3>";
        server->capabilities << QStringLiteral("body-markup");
        tickAt(at(19, 50), 1);
        QCOMPARE(server->shown().last().body,
                 QStringLiteral("tvp1.tv, 20:00\nMecz &amp; &lt;finał&gt;"));
        server->capabilities.removeLast();
        tickAt(at(22, 20), 2);
        QCOMPARE(server->shown().last().body, QStringLiteral("tvp1.tv, 22:30\nMecz & <finał>"));
        listings = kept;
    }

    // "Przypomnij za 5 min" shows it again five minutes later, once.
    void snoozeShowsItAgain()
    {
        int snoozed = 0;
        connect(notifier.get(), &ReminderNotifier::snoozed, this, [&] { ++snoozed; });
        tickAt(at(19, 52), 1);
        server->invoke(server->shown().first().id, QStringLiteral("snooze"));
        QTRY_COMPARE(snoozed, 1); // over the bus
        tickAt(at(19, 56), 1);
        tickAt(at(19, 57), 2);
        QCOMPARE(server->shown().last().body, server->shown().first().body);
        tickAt(at(20, 3), 2);
    }

    // "Wyłącz przypomnienie" disarms: no more searching, and the caption and the settings hear
    // that nothing is armed, the chosen time kept.
    void disarmStops()
    {
        QSignalSpy armed(search.get(), &ReminderSearch::armed);
        tickAt(at(19, 52), 1);
        server->invoke(server->shown().first().id, QStringLiteral("disarm"));
        QTRY_VERIFY(!search->timer().isActive());
        QCOMPARE(armed.size(), 1);
        QCOMPARE(armed.first(), (QVariantList{QByteArray(), 10}));
        QVERIFY(search->armedKeyword().isEmpty());
        int reminded = 0;
        connect(search.get(), &ReminderSearch::reminded, this, [&] { ++reminded; });
        now = at(22, 25);
        search->szukajkaTimer();
        QCOMPARE(reminded, 0);
    }

    // With no server on the bus the reminder window names the station, the start and the title.
    void windowWithoutServer()
    {
        server.reset();
        tickAt(at(19, 55), 1);
        QCOMPARE(control<QLabel>(window.get(), "a")->text(), QStringLiteral("o godzinie: 20:00"));
        QCOMPARE(control<QLabel>(window.get(), "b")->text(),
                 QStringLiteral("znalezione w programie: Mecz: Polska - Łotwa"));
        QCOMPARE(control<QLabel>(window.get(), "c")->text(), QStringLiteral("w stacji: tvp1.tv"));
    }
};

QTEST_MAIN(TestReminderNotifier)
#include "tst_remindernotifier.moc"
