#include "widgets/roundedframe.h"

#include "widgets/look.h"

#include <QPainter>
#include <cmath>

namespace {

// How far row `row` (counted from the top of a corner, 0-based) of a corner ellipse of the
// given radii lies inside the straight edge. The row is sampled at its middle.
int cornerInset(int row, double rx, double ry)
{
    const double dy = (ry - (row + 0.5)) / ry;
    if (dy <= 0.0)
        return 0;
    const double dx = rx * std::sqrt(std::max(0.0, 1.0 - dy * dy));
    return static_cast<int>(std::lround(rx - dx));
}

} // namespace

QRegion roundRectRegion(int left, int top, int right, int bottom, int ellipseW, int ellipseH)
{
    const int width = right - left;
    const int height = bottom - top;
    if (width <= 0 || height <= 0)
        return {};
    const double rx = std::min(ellipseW, width) / 2.0;
    const double ry = std::min(ellipseH, height) / 2.0;
    const int cornerRows = static_cast<int>(std::ceil(ry));

    QRegion region;
    int y = 0;
    while (y < height) {
        // Rows in the top corner band count down from the top edge, rows in the bottom band
        // count up from the bottom edge; the rows between are full width.
        const int fromEdge = std::min(y, height - 1 - y);
        if (fromEdge >= cornerRows) {
            const int run = height - 2 * cornerRows;
            region += QRect(left, top + y, width, run);
            y += run;
            continue;
        }
        const int inset = std::min(cornerInset(fromEdge, rx, ry), width / 2);
        region += QRect(left + inset, top + y, width - 2 * inset, 1);
        ++y;
    }
    return region;
}

QRegion roundRectOutline(int left, int top, int right, int bottom, int ellipseW, int ellipseH)
{
    const QRegion shape = roundRectRegion(left, top, right, bottom, ellipseW, ellipseH);
    const QRegion inner = shape.translated(1, 0) & shape.translated(-1, 0) &
                          shape.translated(0, 1) & shape.translated(0, -1) & shape;
    return shape - inner;
}

QRegion roundedWindowShape(QSize size)
{
    return roundRectRegion(0, 0, size.width(), size.height(), 8, 8);
}

void paintRoundedFrame(QPainter& painter, QSize size)
{
    const int w = size.width();
    const int h = size.height();
    for (const QRect& r : roundRectOutline(1, 1, w - 2, h - 2, 8, 8))
        painter.fillRect(r, kCream);
    for (const QRect& r : roundRectOutline(0, 0, w - 1, h - 1, 10, 10))
        painter.fillRect(r, kAccent);
}
