// Reminding before the start: which broadcasts the schedule reminds of at a moment, that each
// does once, that a series reminds at each broadcast, and putting a reminder off; on a test
// clock, with the pages' programmes read into broadcasts.

#include "reminders/broadcast.h"
#include "reminders/reminderschedule.h"

#include <QTest>

namespace {

const QDate kDay(2026, 5, 14);

QDateTime at(const char* time, int days = 0)
{
    return QDateTime(kDay.addDays(days), QTime::fromString(QLatin1String(time), u"HH:mm"));
}

// Two stations' evenings. "Mecz ligi" is the last on its page: it runs an hour.
QList<Broadcast> evening()
{
    return {
        {"tvp1.tv", at("19:30"),
         "Wiadomo\x9c"
         "ci"},
        {"tvp1.tv", at("20:00"), "Mecz: Polska - Anglia"},
        {"tvp1.tv", at("21:45"), "Studio"},
        {"tvp1.tv", at("23:10"), "MECZ: rewan\xbf"},
        {"tvp1.tv", at("00:40", 1),
         "Zako\xf1"
         "czenie"},
        {"tvn.tv", at("20:20"), "Mecz ligi"},
    };
}

QStringList names(const QList<Broadcast>& broadcasts)
{
    QStringList list;
    for (const Broadcast& b : broadcasts)
        list << QString::fromLatin1(b.station + ' ' + b.start.toString(u"HH:mm").toLatin1());
    return list;
}

} // namespace

class TestReminderSchedule : public QObject {
    Q_OBJECT

private slots:
    void dueAt_data()
    {
        QTest::addColumn<int>("minutesBefore");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QStringList>("due");
        QTest::newRow("further away than the chosen time") << 10 << at("19:49") << QStringList();
        QTest::newRow("the chosen minutes before")
            << 10 << at("19:50") << QStringList{"tvp1.tv 20:00"};
        QTest::newRow("found late, before the start")
            << 15 << at("19:59") << QStringList{"tvp1.tv 20:00"};
        QTest::newRow("at the start") << 5 << at("20:00") << QStringList{"tvp1.tv 20:00"};
        QTest::newRow("after a suspend, while on")
            << 10 << at("21:00") << QStringList{"tvp1.tv 20:00", "tvn.tv 20:20"};
        QTest::newRow("the last of a page runs an hour")
            << 10 << at("21:20") << QStringList{"tvp1.tv 20:00"};
        QTest::newRow("ended where the next starts") << 10 << at("21:45") << QStringList();
        QTest::newRow("the next day's part of a page")
            << 15 << at("23:00") << QStringList{"tvp1.tv 23:10"};
        QTest::newRow("five minutes is not ten") << 5 << at("19:54") << QStringList();
    }

    void dueAt()
    {
        QFETCH(int, minutesBefore);
        QFETCH(QDateTime, now);
        QFETCH(QStringList, due);
        ReminderSchedule schedule("mecz", minutesBefore);
        QCOMPARE(names(schedule.due(now, evening())), due);
    }

    // Once for the broadcast, not at the next ticks nor when the page is read again; then again
    // for the next broadcast of the same title.
    void eachBroadcastOnce()
    {
        ReminderSchedule schedule("mecz", 10);
        QCOMPARE(names(schedule.due(at("19:50"), evening())), QStringList{"tvp1.tv 20:00"});
        for (const char* later : {"19:50", "19:51", "20:05", "20:09"})
            QCOMPARE(names(schedule.due(at(later), evening())), QStringList());
        QCOMPARE(names(schedule.due(at("20:10"), evening())), QStringList{"tvn.tv 20:20"});
        QCOMPARE(names(schedule.due(at("23:00"), evening())), QStringList{"tvp1.tv 23:10"});
        QCOMPARE(names(schedule.due(at("23:05"), evening())), QStringList());
    }

    // Put off five minutes, it comes back once then; put off past its end, never.
    void snooze()
    {
        ReminderSchedule schedule("mecz", 10);
        const QList<Broadcast> due = schedule.due(at("19:50"), evening());
        QCOMPARE(due.size(), 1);
        schedule.snooze(due.first(), at("19:55"));
        QCOMPARE(names(schedule.due(at("19:54"), evening())), QStringList());
        QCOMPARE(names(schedule.due(at("19:55"), evening())), QStringList{"tvp1.tv 20:00"});
        QCOMPARE(names(schedule.due(at("20:00"), evening())), QStringList());

        schedule.snooze(due.first(), at("21:46"));
        QCOMPARE(names(schedule.due(at("21:46"), evening())), QStringList());
    }

    // A page past midnight goes on into the next day; a row without a time is no broadcast.
    void pageIntoBroadcasts()
    {
        const QList<Broadcast> broadcasts = broadcastsOfDay(
            "tvp1.tv", kDay, {{"23:10", "Mecz"}, {"bad", "x"}, {"00:40", "Koniec"}});
        const QList<Broadcast> expected{{"tvp1.tv", at("23:10"), "Mecz"},
                                        {"tvp1.tv", at("00:40", 1), "Koniec"}};
        QCOMPARE(broadcasts, expected);
        QVERIFY(ReminderSchedule::isChoice(30) && !ReminderSchedule::isChoice(7));
    }
};

QTEST_GUILESS_MAIN(TestReminderSchedule)
#include "tst_reminderschedule.moc"
