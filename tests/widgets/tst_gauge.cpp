// The desktop widget's one-pixel progress line: its picture, how it keeps Progress inside the
// range, and when it repaints.

#include "widgets/gauge.h"

#include "text/errorbox.h"

#include <QImage>
#include <QTest>
#include <climits>

namespace {

QImage rendered(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    widget.render(&image);
    return image;
}

// What `action` put in the error box, or "(nothing shown)".
template <typename Action> QString refusalText(Action action)
{
    QString shown = QStringLiteral("(nothing shown)");
    setErrorBox([&](const QString& text) { shown = text; });
    action();
    setErrorBox({});
    return shown;
}

class PaintCountingGauge : public Gauge {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        Gauge::paintEvent(event);
    }
};

} // namespace

class TestGauge : public QObject {
    Q_OBJECT

private slots:
    // The filled width is truncated((W + 1) * percent / 100) columns, cut at W, with the percent
    // done rounded down; worked out by hand for each row.
    void picture_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("progress");
        QTest::addColumn<QColor>("fore");
        QTest::addColumn<QColor>("back");
        QTest::addColumn<int>("filled");

        const QColor white(255, 255, 255);
        const QColor black(0, 0, 0);
        QTest::newRow("81 at 50 %: 82 * 0.5") << 81 << 1 << 0 << 100 << 50 << white << black << 41;
        QTest::newRow("81 at 0 %") << 81 << 1 << 0 << 100 << 0 << white << black << 0;
        QTest::newRow("81 at 33 %: 27.06") << 81 << 1 << 0 << 100 << 33 << white << black << 27;
        QTest::newRow("81 at 99 %: 81.18") << 81 << 1 << 0 << 100 << 99 << white << black << 81;
        QTest::newRow("81 at 100 %: 82, cut") << 81 << 1 << 0 << 100 << 100 << white << black << 81;
        QTest::newRow("max 0") << 81 << 1 << 0 << 0 << 0 << white << black << 0;
        QTest::newRow("1 of 3 is 33 %") << 81 << 1 << 0 << 3 << 1 << white << black << 27;
        QTest::newRow("2 of 3 is 66 %: 54.12") << 81 << 1 << 0 << 3 << 2 << white << black << 54;
        QTest::newRow("100 at 1 %: 1.01") << 100 << 1 << 0 << 100 << 1 << white << black << 1;
        QTest::newRow("from -50 to 50, at 0") << 81 << 1 << -50 << 50 << 0 << white << black << 41;
        // 2^31 * 100 / (2^32 - 1) = 50.0000000116 -> 50 %.
        QTest::newRow("int range, at 0")
            << 81 << 1 << INT_MIN << INT_MAX << 0 << white << black << 41;
        // (2^32 - 51) * 100 / (2^32 - 1) = 99.9999988 -> 99 %: 201 * 0.99 = 198.99.
        QTest::newRow("int range, just below the top")
            << 200 << 1 << INT_MIN << INT_MAX << INT_MAX - 50 << white << black << 198;
        QTest::newRow("int range, at the top")
            << 200 << 1 << INT_MIN << INT_MAX << INT_MAX << white << black << 200;
        QTest::newRow("3 rows, own colours: 101 * 0.25")
            << 100 << 3 << 0 << 100 << 25 << QColor(255, 0, 0) << QColor(0, 0, 255) << 25;
    }

    void picture()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, progress);
        QFETCH(QColor, fore);
        QFETCH(QColor, back);
        QFETCH(int, filled);

        Gauge gauge;
        gauge.resize(width, height);
        gauge.setMaxValue(INT_MAX);
        gauge.setMinValue(min);
        gauge.setMaxValue(max);
        gauge.setProgress(progress);
        gauge.setForeColor(fore);
        gauge.setBackColor(back);
        QCOMPARE(gauge.progress(), progress);

        const QImage image = rendered(gauge);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const QColor expected = x < filled ? fore : back;
                if (image.pixelColor(x, y) != expected)
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) wrong").arg(x).arg(y)));
            }
        }
    }

    // Progress is set before the maximum on each report: it is clamped to the old maximum, then
    // a lower maximum pulls it down; a maximum below the minimum is refused.
    void maximumClampsProgress()
    {
        Gauge gauge;
        gauge.setProgress(150);
        QCOMPARE(gauge.progress(), 100);
        gauge.setMaxValue(200);
        QCOMPARE(gauge.progress(), 100);
        gauge.setMaxValue(50);
        QCOMPARE(gauge.progress(), 50);

        QCOMPARE(refusalText([&] { gauge.setMaxValue(-5); }),
                 QStringLiteral("Value must be between 1 and 2147483647"));
        QCOMPARE(gauge.maxValue(), 50);
        QCOMPARE(gauge.progress(), 50);

        gauge.setMinValue(10);
        QCOMPARE(refusalText([&] { gauge.setMaxValue(9); }),
                 QStringLiteral("Value must be between 11 and 2147483647"));
        // A maximum equal to the minimum is allowed and shows nothing done.
        gauge.setMaxValue(10);
        QCOMPARE(gauge.progress(), 10);
        QCOMPARE(gauge.percentDone(), 0);
    }

    void minimumClampsProgress()
    {
        Gauge gauge;
        gauge.setMaxValue(50);
        gauge.setProgress(10);
        QCOMPARE(refusalText([&] { gauge.setMinValue(60); }),
                 QStringLiteral("Value must be between -2147483648 and 49"));
        QCOMPARE(gauge.minValue(), 0);
        QCOMPARE(gauge.progress(), 10);

        gauge.setMinValue(20);
        QCOMPARE(gauge.progress(), 20);
        gauge.setProgress(5);
        QCOMPARE(gauge.progress(), 20);
        gauge.setMinValue(50);
        QCOMPARE(gauge.progress(), 50);
    }

    // A shown gauge repaints at once when the whole percent changes, and not for a progress
    // step within the same percent.
    void repaintsOnPercentChange()
    {
        PaintCountingGauge gauge;
        gauge.resize(81, 1);
        gauge.show();
        QVERIFY(QTest::qWaitForWindowExposed(&gauge));
        QTRY_VERIFY(gauge.paints > 0);
        QTest::qWait(20);

        gauge.paints = 0;
        gauge.setMaxValue(1000);
        QCOMPARE(gauge.paints, 1);
        gauge.setProgress(0);
        gauge.setProgress(9); // 0.9 %
        QCOMPARE(gauge.paints, 1);
        gauge.setProgress(10); // 1 %
        QCOMPARE(gauge.paints, 2);
        gauge.setProgress(19);
        QCOMPARE(gauge.paints, 2);
        gauge.setProgress(5000); // clamped to 1000: 100 %
        QCOMPARE(gauge.progress(), 1000);
        QCOMPARE(gauge.paints, 3);
    }
};

QTEST_MAIN(TestGauge)
#include "tst_gauge.moc"
