// The input dialog: what OK does for each purpose, and which station texts it refuses.

#include "reminders/okienko.h"
#include "support/controls.h"
#include "widgets/look.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TestOkienko : public QObject {
    Q_OBJECT

    // Opens the dialog as its callers do, runs `act` inside it, and returns once it has closed
    // or `act` has left it open (then it is closed here).
    void openAndAct(Okienko& dialog, const QString& purpose, const std::function<void()>& act)
    {
        QTimer::singleShot(0, &dialog, [&] {
            act();
            if (dialog.isVisible()) {
                stayedOpen = true;
                dialog.close();
            }
        });
        stayedOpen = false;
        dialog.openWith(QStringLiteral("prompt"), purpose, QString());
    }

    bool stayedOpen = false;

private slots:
    void initTestCase() { installFontFallbacks(); }

    void addStationOutcomes_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("added"); // empty: nothing added
        QTest::addColumn<bool>("staysOpen");
        QTest::addColumn<int>("debugWords");
        QTest::newRow("entry") << "nazwa.stacji.tv|http://adres.do.stacji"
                               << QByteArray("nazwa.stacji.tv|http://adres.do.stacji") << false
                               << 0;
        QTest::newRow("polish, untrimmed") << " tvp łódź.tv |http://x/ "
                                           << QByteArray(" tvp \xb3\xf3"
                                                         "d\x9f.tv |http://x/ ")
                                           << false << 0;
        QTest::newRow("empty closes") << "" << QByteArray() << false << 0;
        QTest::newRow("access word") << "mrowka" << QByteArray() << true << 1;
        QTest::newRow("access word is case-sensitive")
            << "Mrowka|http://x" << QByteArray("Mrowka|http://x") << false << 0;
        // Refused: the name part would not be a plain file in the working folder.
        QTest::newRow("no name") << "|http://x" << QByteArray() << true << 0;
        QTest::newRow("no bar") << "mrowka.tv" << QByteArray() << true << 0;
        QTest::newRow("dot") << ".|http://x" << QByteArray() << true << 0;
        QTest::newRow("dot dot") << "..|http://x" << QByteArray() << true << 0;
        QTest::newRow("slash") << "a/b.tv|http://x" << QByteArray() << true << 0;
        QTest::newRow("backslash") << "a\\b.tv|http://x" << QByteArray() << true << 0;
        QTest::newRow("station list") << "programy.tv|http://x" << QByteArray() << true << 0;
        QTest::newRow("checked states") << "programy_stan.tv|http://x" << QByteArray() << true << 0;
        QTest::newRow("tab in address") << "a.tv|http://x\ty" << QByteArray() << true << 0;
        QTest::newRow("not in the code page") << "жжж.tv|http://x" << QByteArray() << true << 0;
    }

    void addStationOutcomes()
    {
        QFETCH(QString, input);
        QFETCH(QByteArray, added);
        QFETCH(bool, staysOpen);
        QFETCH(int, debugWords);
        Okienko dialog;
        QSignalSpy entered(&dialog, &Okienko::stationEntered);
        QSignalSpy debug(&dialog, &Okienko::debugAccessWordEntered);
        QString reason;
        openAndAct(dialog, Okienko::kAddStation, [&] {
            control<QLineEdit>(&dialog, "b")->setText(input);
            dialog.okbutClick();
            reason = control<QLabel>(&dialog, "why")->isVisible()
                         ? control<QLabel>(&dialog, "why")->text()
                         : QString();
        });
        QCOMPARE(stayedOpen, staysOpen);
        QCOMPARE(debug.size(), debugWords);
        QCOMPARE(entered.size(), added.isEmpty() ? 0 : 1);
        if (!added.isEmpty())
            QCOMPARE(entered.first().first().toByteArray(), added);
        // A refusal says why and keeps the text for mending; the access word says nothing.
        const bool refused = staysOpen && debugWords == 0;
        QCOMPARE(!reason.isEmpty(), refused);
        QCOMPARE(control<QLineEdit>(&dialog, "b")->text(), input);
    }

    // A text without "|" lacks the bar, not a name, and the reason says so.
    void reasonForAMissingBar()
    {
        Okienko dialog;
        openAndAct(dialog, Okienko::kAddStation, [&] {
            control<QLineEdit>(&dialog, "b")->setText(QStringLiteral("mrowka.tv"));
            dialog.okbutClick();
        });
        QVERIFY2(
            control<QLabel>(&dialog, "why")->text().startsWith(QStringLiteral("Brakuje znaku „|”")),
            qPrintable(control<QLabel>(&dialog, "why")->text()));
    }

    // The reason goes away as soon as the user mends the text, and the next opening starts clean.
    void refusalClearsOnEditAndReopen()
    {
        Okienko dialog;
        openAndAct(dialog, Okienko::kAddStation, [&] {
            control<QLineEdit>(&dialog, "b")->setText(QStringLiteral("bad"));
            dialog.okbutClick();
            QVERIFY(control<QLabel>(&dialog, "why")->isVisible() &&
                    !control<QLabel>(&dialog, "a")->isVisible());
            QTest::keyClick(control<QLineEdit>(&dialog, "b"), Qt::Key_X);
            QVERIFY(!control<QLabel>(&dialog, "why")->isVisible() &&
                    control<QLabel>(&dialog, "a")->isVisible());
            dialog.okbutClick();
        });
        openAndAct(dialog, Okienko::kAddStation, [&] {
            QVERIFY(!control<QLabel>(&dialog, "why")->isVisible());
            QCOMPARE(control<QLabel>(&dialog, "a")->text(), QStringLiteral("prompt"));
            QVERIFY(control<QLineEdit>(&dialog, "b")->text().isEmpty());
        });
    }

    void enterActsAsOk()
    {
        Okienko dialog;
        QSignalSpy entered(&dialog, &Okienko::stationEntered);
        openAndAct(dialog, Okienko::kAddStation, [&] {
            QTest::keyClicks(control<QLineEdit>(&dialog, "b"), QStringLiteral("x.tv|http://x"));
            QTest::keyClick(control<QLineEdit>(&dialog, "b"), Qt::Key_Return);
        });
        QVERIFY(!stayedOpen);
        QCOMPARE(entered.size(), 1);
        QCOMPARE(control<QLineEdit>(&dialog, "b")->text(),
                 QStringLiteral("x.tv|http://x")); // nothing inserted
    }

    void otherPurposesOnlyClose()
    {
        Okienko dialog;
        QSignalSpy entered(&dialog, &Okienko::stationEntered);
        QSignalSpy debug(&dialog, &Okienko::debugAccessWordEntered);
        for (const QString& purpose : {Okienko::kShowAddress, QStringLiteral("dodaj stację")}) {
            openAndAct(dialog, purpose, [&] {
                control<QLineEdit>(&dialog, "b")->setText(QStringLiteral("mrowka"));
                dialog.okbutClick();
            });
            QVERIFY(!stayedOpen);
        }
        QCOMPARE(entered.size(), 0);
        QCOMPARE(debug.size(), 0);
        QVERIFY(control<QLabel>(&dialog, "abc")->text().isEmpty());
    }

    // Only a reminder asks when to remind; the choice goes with the keyword and stays for the
    // next time. Adding a station keeps the whole width of the input box.
    void reminderChoosesWhen()
    {
        Okienko dialog;
        QSignalSpy armed(&dialog, &Okienko::reminderArmed);
        auto* kiedy = control<QComboBox>(&dialog, "kiedy");
        auto* b = control<QLineEdit>(&dialog, "b");
        QStringList choices;
        for (int i = 0; i < kiedy->count(); ++i)
            choices << kiedy->itemText(i);
        QCOMPARE(choices, (QStringList{"gdy leci", "5 min przed", "10 min przed", "15 min przed",
                                       "30 min przed"}));
        QCOMPARE(dialog.minutesBefore(), 0);
        dialog.setMinutesBefore(7); // no such choice
        QCOMPARE(dialog.minutesBefore(), 0);

        openAndAct(dialog, Okienko::kAddReminder, [&] {
            QVERIFY(kiedy->isVisible());
            QVERIFY(b->geometry().right() < kiedy->x());
            QVERIFY(dialog.rect().adjusted(4, 0, -4, 0).contains(kiedy->geometry()));
            kiedy->setCurrentIndex(kiedy->findText(QStringLiteral("15 min przed")));
            b->setText(QStringLiteral("mecz"));
            dialog.okbutClick();
        });
        QCOMPARE(armed.size(), 1);
        QCOMPARE(armed.first(), (QVariantList{QByteArray("mecz"), 15}));
        openAndAct(dialog, Okienko::kAddStation, [&] {
            QVERIFY(!kiedy->isVisible());
            QCOMPARE(b->width(), 281);
        });
        QCOMPARE(dialog.minutesBefore(), 15);
    }

    void layout()
    {
        Okienko dialog;
        QCOMPARE(dialog.size(), QSize(311, 126));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("okienko"));
        QCOMPARE(control<QLineEdit>(&dialog, "b")->geometry(), QRect(8, 63, 281, 19));
        QVERIFY(!control<QLineEdit>(&dialog, "b")->hasFrame());
        // Rounded: the corner pixel is cut away, the edge next to it is not.
        QVERIFY(!dialog.mask().contains(QPoint(0, 0)));
        QVERIFY(dialog.mask().contains(QPoint(155, 0)));
        QVERIFY(!dialog.mask().contains(QPoint(310, 125)));
    }
};

QTEST_MAIN(TestOkienko)
#include "tst_okienko.moc"
