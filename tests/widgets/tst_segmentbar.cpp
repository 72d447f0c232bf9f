// The main window's segmented progress bar, pixel by pixel. The expected pictures are worked out
// by hand from how the bar is meant to look: a grey ring around a white field, 7-pixel blocks
// from x = 2 with 2-pixel gaps, rows 2..H-3, and banded shading in each half of a block.

#include "widgets/segmentbar.h"

#include <QImage>
#include <QTest>
#include <climits>

namespace {

using Runs = QList<QPair<int, int>>;    // block columns, [first, end)
using Rows = QList<QPair<int, QColor>>; // a row of a block and its colour

const QColor kSilver(192, 192, 192);
const QColor kGrey(128, 128, 128);
const QColor kDarkShadow(64, 64, 64);
const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);

// The first `count` full blocks: [2 + 9k, 9 + 9k).
Runs fullBlocks(int count)
{
    Runs runs;
    for (int k = 0; k < count; ++k)
        runs.append({2 + 9 * k, 9 + 9 * k});
    return runs;
}

QImage rendered(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta); // anything the bar leaves unpainted shows up
    widget.render(&image);
    return image;
}

QString describe(const QColor& c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// Compares the whole picture with: blocks of plain `block` colour over `runs` on rows
// 2..H-3 (painted over the ring where they reach it), otherwise the ring in `border` (when
// there is one) and the field in `background`. Gives the first difference, or nothing.
QString firstMismatch(const QImage& image, const Runs& runs, const QColor& block,
                      const QColor& border = kGrey, const QColor& background = kWhite)
{
    const int w = image.width();
    const int h = image.height();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            bool inBlock = false;
            for (const auto& [first, end] : runs)
                inBlock = inBlock || (x >= first && x < end);
            const bool ring = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            QColor expected = background;
            if (inBlock && y >= 2 && y < h - 2)
                expected = block;
            else if (ring && border.isValid())
                expected = border;
            const QColor actual = image.pixelColor(x, y);
            if (actual != expected) {
                return QStringLiteral("pixel (%1, %2) is %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(describe(actual), describe(expected));
            }
        }
    }
    return {};
}

class PaintCountingBar : public SegmentBar {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        SegmentBar::paintEvent(event);
    }
};

} // namespace

class TestSegmentBar : public QObject {
    Q_OBJECT

private slots:
    // Where the blocks go for a given position, with plain blocks so only the layout shows.
    // The height is always 18. At 182 wide the filled length is roundToNearest(1.8 P), which never
    // comes out as 10 or 12; the 102-wide bar (filled length = P) covers those. The 52-wide bar
    // (filled length P / 2) rounds its halves to even.
    void layout_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("position");
        QTest::addColumn<Runs>("runs");
        QTest::addColumn<QColor>("colour");

        // Nothing to show: the white field in its grey ring.
        QTest::newRow("max = min = 0") << 182 << 0 << 0 << 0 << Runs{} << kBlack;
        QTest::newRow("max = min, position 50") << 182 << 0 << 0 << 50 << Runs{} << kBlack;
        QTest::newRow("position 0") << 182 << 0 << 100 << 0 << Runs{} << kBlack;
        QTest::newRow("0.4 % rounds to 0") << 182 << 0 << 1000 << 4 << Runs{} << kBlack;
        QTest::newRow("negative position") << 182 << 0 << 100 << -50 << Runs{} << kBlack;
        QTest::newRow("max below min") << 182 << 100 << 0 << 50 << Runs{} << kBlack;
        QTest::newRow("INT_MIN over 1") << 182 << 0 << 1 << INT_MIN << Runs{} << kBlack;

        // One short block: F = roundToNearest(1.8) = 2 gives one pixel, F = 9 eight pixels (2..9).
        QTest::newRow("182: P 1, F 2") << 182 << 0 << 100 << 1 << Runs{{2, 3}} << kSilver;
        QTest::newRow("182: P 5, F 9") << 182 << 0 << 100 << 5 << Runs{{2, 10}} << kSilver;
        // F = roundToNearest(10.8) = 11: one full block, a 2-pixel rest shows nothing.
        QTest::newRow("182: P 6, F 11") << 182 << 0 << 100 << 6 << Runs{{2, 9}} << kSilver;
        // F = roundToNearest(12.6) = 13: one full block and a 3-pixel block after the gap.
        QTest::newRow("182: P 7, F 13")
            << 182 << 0 << 100 << 7 << Runs{{2, 9}, {11, 14}} << kSilver;

        QTest::newRow("102: F 9") << 102 << 0 << 100 << 9 << Runs{{2, 10}} << kSilver;
        QTest::newRow("102: F 10") << 102 << 0 << 100 << 10 << Runs{{2, 9}} << kSilver;
        QTest::newRow("102: F 11") << 102 << 0 << 100 << 11 << Runs{{2, 9}} << kSilver;
        // 1 / 8 is 12.5 %, which rounds to 12: a 2-pixel rest block (13 would give 3 pixels).
        QTest::newRow("102: 12.5 % -> F 12")
            << 102 << 0 << 8 << 1 << Runs{{2, 9}, {11, 13}} << kSilver;
        // Inner width 50: 25 % fills 12.5 -> 12, 27 % fills 13.5 -> 14.
        QTest::newRow("52: F 12.5 -> 12")
            << 52 << 0 << 100 << 25 << Runs{{2, 9}, {11, 13}} << kSilver;
        QTest::newRow("52: F 13.5 -> 14")
            << 52 << 0 << 100 << 27 << Runs{{2, 9}, {11, 15}} << kSilver;

        // Full: 20 blocks, the last on 173..179; columns 180 and the ring at 181 stay.
        QTest::newRow("182: full") << 182 << 0 << 100 << 100 << fullBlocks(20) << kBlack;
        QTest::newRow("182: twice the maximum")
            << 182 << 0 << 100 << 200 << fullBlocks(20) << kBlack;
        QTest::newRow("182: INT_MAX over 1")
            << 182 << 0 << 1 << INT_MAX << fullBlocks(20) << kBlack;
        QTest::newRow("182: INT_MIN over -1")
            << 182 << 0 << -1 << INT_MIN << fullBlocks(20) << kBlack;
        // 185 wide: a 21st block starts at 182 and is cut off at the right edge, covering the
        // ring on 182..184.
        QTest::newRow("185: twice the maximum")
            << 185 << 0 << 100 << 200 << fullBlocks(21) << kBlack;
        QTest::newRow("185: INT_MAX over 1")
            << 185 << 0 << 1 << INT_MAX << fullBlocks(21) << kBlack;
        // The whole int range: (2^31 - 1) / (2^32 - 1) is just under 50 %, rounds to 50,
        // F = 90: ten blocks in level 1.
        QTest::newRow("INT_MAX over the int range")
            << 182 << INT_MIN << INT_MAX << INT_MAX << fullBlocks(10) << kGrey;
    }

    void layout()
    {
        QFETCH(int, width);
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, position);
        QFETCH(Runs, runs);
        QFETCH(QColor, colour);

        SegmentBar bar;
        bar.resize(width, 18);
        bar.setShowGradient(false);
        bar.setMin(min);
        bar.setMax(max);
        bar.setPosition(position);
        const QString mismatch = firstMismatch(rendered(bar), runs, colour);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    // Ring and field colours are the bar's own, and without a border the ring is field.
    void borderAndBackground()
    {
        SegmentBar bar;
        bar.setShowGradient(false);
        bar.setBorderColor(QColor(10, 20, 30));
        bar.setBackgroundColor(QColor(200, 210, 220));
        bar.setPosition(7);
        const Runs runs{{2, 9}, {11, 14}};
        QString mismatch =
            firstMismatch(rendered(bar), runs, kSilver, QColor(10, 20, 30), QColor(200, 210, 220));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

        bar.setShowBorder(false);
        mismatch = firstMismatch(rendered(bar), runs, kSilver, QColor(), QColor(200, 210, 220));
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    // The level colour at each side of the level limits (30 %, 60 %, 100 %). Plain blocks are
    // the level colour on every row; shaded, the middle row 9 is the lower half's second band,
    // colour + roundToNearest((white - colour) / 20): 192 + roundToNearest(3.15), 128 +
    // roundToNearest(6.35), 64 + roundToNearest(9.55), 0 + roundToNearest(12.75).
    void levelColour_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QColor>("plain");
        QTest::addColumn<int>("middleRow");

        QTest::newRow("29") << 29 << kSilver << 195;
        QTest::newRow("30") << 30 << kGrey << 134;
        QTest::newRow("59") << 59 << kGrey << 134;
        QTest::newRow("60") << 60 << kDarkShadow << 74;
        QTest::newRow("99") << 99 << kDarkShadow << 74;
        QTest::newRow("100") << 100 << kBlack << 13;
    }

    void levelColour()
    {
        QFETCH(int, position);
        QFETCH(QColor, plain);
        QFETCH(int, middleRow);

        SegmentBar bar;
        bar.setPosition(position);
        const QImage shaded = rendered(bar);
        bar.setShowGradient(false);
        const QImage flat = rendered(bar);
        for (int x = 2; x < 9; ++x) {
            QCOMPARE(shaded.pixelColor(x, 9), QColor(middleRow, middleRow, middleRow));
            for (int y = 2; y < 16; ++y)
                QCOMPARE(flat.pixelColor(x, y), plain);
        }
    }

    // Band shading of a full bar, checked on the first and the last block. The level 3
    // colours are set to (colour, colourTo); the upper half (rows 2..8) runs from colourTo to
    // colour, the lower half (rows 9..15) from colour to colourTo.
    //
    // 20 bands over 7 rows: band i starts at row roundToNearest(0.35 i) of the half and is one row
    // high, so row 0 of a half is band 1, row 6 is band 18 (band 19 starts on the next half), and
    // the colour is start + roundToNearest(i * (end - start) / 20).
    void gradient_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QColor>("colourTo");
        QTest::addColumn<Rows>("rows");

        const auto grey = [](int v) { return QColor(v, v, v); };

        // Upper: 255 + roundToNearest(-3.15) = 252, 255 + roundToNearest(-56.7) = 198; lower: 192 +
        // 3, 192 + 57.
        QTest::newRow("20 bands, silver")
            << 20 << kSilver << kWhite
            << Rows{{2, grey(252)}, {8, grey(198)}, {9, grey(195)}, {15, grey(249)}};
        // -6.35 -> -6, -114.3 -> -114.
        QTest::newRow("20 bands, grey")
            << 20 << kGrey << kWhite
            << Rows{{2, grey(249)}, {8, grey(141)}, {9, grey(134)}, {15, grey(242)}};
        // -9.55 -> -10, -171.9 -> -172.
        QTest::newRow("20 bands, dark shadow")
            << 20 << kDarkShadow << kWhite
            << Rows{{2, grey(245)}, {8, grey(83)}, {9, grey(74)}, {15, grey(236)}};
        // -12.75 -> -13; 18 * -12.75 = -229.5 is a tie and goes to the even -230 (25, not 26);
        // 229.5 goes to 230.
        QTest::newRow("20 bands, black")
            << 20 << kBlack << kWhite
            << Rows{{2, grey(242)}, {8, grey(25)}, {9, grey(13)}, {15, grey(230)}};
        // Each channel on its own: steps of (-12, 8, 0) above the middle, (12, -8, 0) below.
        QTest::newRow("20 bands, per channel") << 20 << QColor(10, 200, 90) << QColor(250, 40, 90)
                                               << Rows{{2, QColor(238, 48, 90)},
                                                       {8, QColor(34, 184, 90)},
                                                       {9, QColor(22, 192, 90)},
                                                       {15, QColor(226, 56, 90)}};
        // 3 bands: S = 7/3, each band truncated(S) + 1 = 3 rows from row roundToNearest(i S) = 0,
        // 2, 5 of the half, cut at the half's end; band 1 paints over the last row of band 0. Upper
        // 255, 170, 85; lower 0, 85, 170.
        {
            Rows rows;
            const int upper[7] = {255, 255, 170, 170, 170, 85, 85};
            const int lower[7] = {0, 0, 85, 85, 85, 170, 170};
            for (int r = 0; r < 7; ++r) {
                rows.append({2 + r, grey(upper[r])});
                rows.append({9 + r, grey(lower[r])});
            }
            QTest::newRow("3 bands") << 3 << kBlack << kWhite << rows;
        }
        // 7 bands: one row apart and two rows high, so each row keeps the band starting on it:
        // roundToNearest(i * 255 / 7) = 0, 36, 73, 109, 146, 182, 219.
        {
            Rows rows;
            const int offset[7] = {0, 36, 73, 109, 146, 182, 219};
            for (int r = 0; r < 7; ++r) {
                rows.append({2 + r, grey(255 - offset[r])});
                rows.append({9 + r, grey(offset[r])});
            }
            QTest::newRow("7 bands") << 7 << kBlack << kWhite << rows;
        }
        // One band fills each half: the upper one is colourTo, the lower one colour. No bands
        // at all, or a negative count, shades as one band.
        for (const int steps : {1, 0, -5}) {
            Rows rows;
            for (int r = 0; r < 7; ++r) {
                rows.append({2 + r, QColor(255, 255, 0)});
                rows.append({9 + r, QColor(0, 0, 255)});
            }
            QTest::addRow("%d bands", steps)
                << steps << QColor(0, 0, 255) << QColor(255, 255, 0) << rows;
        }
        // As many bands as an int holds. The first row of a half keeps the last band starting
        // there, i < s / 14, which is 255 / 14 = 18.2 -> 18 along; the last row i < 13 s / 14,
        // 236.8 -> 237 along.
        QTest::newRow("INT_MAX bands")
            << INT_MAX << kBlack << kWhite
            << Rows{{2, grey(237)}, {8, grey(18)}, {9, grey(18)}, {15, grey(237)}};
    }

    void gradient()
    {
        QFETCH(int, steps);
        QFETCH(QColor, colour);
        QFETCH(QColor, colourTo);
        QFETCH(Rows, rows);

        SegmentBar bar;
        bar.setSteps(steps);
        bar.setLevel3Color(colour);
        bar.setLevel3ColorTo(colourTo);
        bar.setPosition(100);
        const QImage image = rendered(bar);
        for (const int first : {2, 173}) {
            for (int x = first; x < first + 7; ++x) {
                for (const auto& [y, expected] : rows) {
                    if (image.pixelColor(x, y) != expected) {
                        QFAIL(qPrintable(
                            QStringLiteral("pixel (%1, %2) is %3, expected %4")
                                .arg(x)
                                .arg(y)
                                .arg(describe(image.pixelColor(x, y)), describe(expected))));
                    }
                }
            }
            // Rows 1 and 16 are outside the block.
            QCOMPARE(image.pixelColor(first, 1), kWhite);
            QCOMPARE(image.pixelColor(first, 16), kWhite);
        }
    }

    // A new position is painted before setPosition returns; a new maximum waits for the event
    // loop.
    void repaintTiming()
    {
        PaintCountingBar bar;
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QTRY_VERIFY(bar.paints > 0);
        QTest::qWait(20);

        bar.paints = 0;
        bar.setPosition(50);
        QCOMPARE(bar.paints, 1);

        bar.paints = 0;
        bar.setMax(200);
        QCOMPARE(bar.paints, 0);
        QTRY_VERIFY(bar.paints > 0);
    }
};

QTEST_MAIN(TestSegmentBar)
#include "tst_segmentbar.moc"
