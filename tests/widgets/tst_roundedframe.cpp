// The rounded window shape and its two-line frame, pixel by pixel.

#include "widgets/look.h"
#include "widgets/roundedframe.h"

#include <QImage>
#include <QPainter>
#include <QTest>

namespace {

// The first and last pixel of `row` inside `region`, or (-1, -1).
QPair<int, int> rowSpan(const QRegion& region, int row, int width)
{
    int first = -1;
    int last = -1;
    for (int x = 0; x < width; ++x) {
        if (region.contains(QPoint(x, row))) {
            if (first < 0)
                first = x;
            last = x;
        }
    }
    return {first, last};
}

} // namespace

class TestRoundedFrame : public QObject {
    Q_OBJECT

private slots:
    // 350 x 239 with 8 x 8 corners: the corner rows are cut in by 2 and 1 pixels, at all four
    // corners alike, and nothing lies outside (0, 0)-(350, 239).
    void windowShape()
    {
        const QRegion shape = roundedWindowShape(QSize(350, 239));
        QCOMPARE(shape.boundingRect(), QRect(0, 0, 350, 239));
        const QList<QPair<int, int>> expected{{2, 347}, {1, 348}, {0, 349}, {0, 349}};
        for (int row = 0; row < 4; ++row) {
            QCOMPARE(rowSpan(shape, row, 350), expected[row]);
            QCOMPARE(rowSpan(shape, 238 - row, 350), expected[row]);
        }
        QCOMPARE(rowSpan(shape, 120, 350), qMakePair(0, 349));
    }

    // Degenerate sizes give an empty or a plain shape, never a crash or a negative run.
    void tinyShapes()
    {
        QVERIFY(roundRectRegion(0, 0, 0, 10, 8, 8).isEmpty());
        QVERIFY(roundRectRegion(5, 5, 5, 5, 8, 8).isEmpty());
        const QRegion small = roundRectRegion(0, 0, 3, 3, 8, 8);
        QVERIFY(!small.isEmpty());
        QVERIFY(QRect(0, 0, 3, 3).contains(small.boundingRect()));
    }

    // The outline is one pixel wide and closed: every row between the corners has exactly its
    // two end pixels, and the top edge runs between the corner cut-ins.
    void outlineIsOnePixel()
    {
        const QRegion outline = roundRectOutline(0, 0, 100, 50, 10, 10);
        for (int row = 5; row < 45; ++row) {
            int count = 0;
            for (int x = 0; x < 100; ++x)
                count += outline.contains(QPoint(x, row)) ? 1 : 0;
            QCOMPARE(count, 2);
        }
        QCOMPARE(rowSpan(outline, 0, 100), qMakePair(3, 96));
        QVERIFY(!outline.contains(QPoint(50, 1)));
    }

    // The frame on a white window: grey-green outside at x = 0 and x = W - 2, cream inside at
    // x = 1 and x = W - 3, and the last column and row stay white.
    void framePixels()
    {
        const QSize size(311, 126);
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            paintRoundedFrame(painter, size);
        }
        const int w = size.width();
        const int h = size.height();
        const int mid = h / 2;
        QCOMPARE(image.pixelColor(0, mid), kAccent);
        QCOMPARE(image.pixelColor(1, mid), kCream);
        QCOMPARE(image.pixelColor(2, mid), QColor(Qt::white));
        QCOMPARE(image.pixelColor(w - 2, mid), kAccent);
        QCOMPARE(image.pixelColor(w - 3, mid), kCream);
        QCOMPARE(image.pixelColor(w - 1, mid), QColor(Qt::white));
        QCOMPARE(image.pixelColor(w / 2, 0), kAccent);
        QCOMPARE(image.pixelColor(w / 2, 1), kCream);
        QCOMPARE(image.pixelColor(w / 2, h - 2), kAccent);
        QCOMPARE(image.pixelColor(w / 2, h - 3), kCream);
        QCOMPARE(image.pixelColor(w / 2, h - 1), QColor(Qt::white));
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::white)); // the corner is rounded off
    }
};

QTEST_MAIN(TestRoundedFrame)
#include "tst_roundedframe.moc"
