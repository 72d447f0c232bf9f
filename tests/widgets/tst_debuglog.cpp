// The debug log: emptied whenever it reaches 250 lines, and a batch of lines ends in the same
// state as the same lines appended one by one.

#include "widgets/debuglog.h"

#include <QTest>

class TestDebugLog : public QObject {
    Q_OBJECT

private slots:
    void emptiesAt250Lines()
    {
        DebugLog log;
        for (int i = 1; i <= 249; ++i)
            log.appendLines({QStringLiteral(".mrowka: line %1").arg(i)});
        QCOMPARE(log.document()->blockCount(), 249);
        log.appendLines({QStringLiteral(".mrowka: line 250")});
        QVERIFY(log.toPlainText().isEmpty());
        log.appendLines({QStringLiteral(".mrowka: again")});
        QCOMPARE(log.toPlainText(), QStringLiteral(".mrowka: again"));
    }

    void batchMatchesLineByLine_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("batch");
        QTest::newRow("fits") << 7 << 100;
        QTest::newRow("crosses the limit once") << 7 << 305;
        QTest::newRow("crosses it twice") << 200 << 400;
        QTest::newRow("ends on the limit") << 50 << 200;
    }

    void batchMatchesLineByLine()
    {
        QFETCH(int, before);
        QFETCH(int, batch);
        QStringList earlier, lines;
        for (int i = 0; i < before; ++i)
            earlier << QStringLiteral("earlier %1").arg(i);
        for (int i = 0; i < batch; ++i)
            lines << QStringLiteral("line %1").arg(i);
        DebugLog oneByOne, batched;
        oneByOne.appendLines(earlier);
        batched.appendLines(earlier);
        for (const QString& line : lines)
            oneByOne.appendLines({line});
        batched.appendLines(lines);
        QCOMPARE(batched.toPlainText(), oneByOne.toPlainText());
        QCOMPARE(batched.lineCount(), oneByOne.lineCount());
    }
};

QTEST_MAIN(TestDebugLog)
#include "tst_debuglog.moc"
