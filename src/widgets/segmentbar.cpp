#include "widgets/segmentbar.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <vector>

namespace {

constexpr int kBlockWidth = 7;
constexpr int kBlockPitch = 9; // a block and the gap after it
constexpr int kMargin = 2;     // blocks start 2 pixels inside the top, left and bottom edges

// The bar's arithmetic is done on long double and rounds to the nearest integer with ties to
// the even neighbour (the default rounding mode), so 12.5 per cent is 12 and 13.5 is 14.
qint64 roundEven(long double value)
{
    return static_cast<qint64>(std::nearbyint(value));
}

// One colour channel of band `band`: start + roundToNearest(band * step).
int bandChannel(int start, long double step, qint64 band)
{
    return std::clamp(start + static_cast<int>(roundEven(band * step)), 0, 255);
}

// Shades rows y1..y2 from `from` at the top to `to` at the bottom in `steps` bands, stacked top
// to bottom: writes the colour of each row it paints into `rows` (indexed by row, from 0). Band
// i has the colour from + roundToNearest(i * (to - from) / steps) and covers the rows from
// y1 + roundToNearest(i * S) to y1 + roundToNearest(i * S) + truncated(S) + 1 (at most y2), where
// S = (y2 - y1) / steps; a later band paints over an earlier one where they overlap.
//
// Band tops and bottoms never decrease from one band to the next, so a row ends up with the
// colour of the last band whose top lies on or above it, provided that band reaches down to it;
// when it does not, no earlier band does either and the row is left alone. That is what the
// band-by-band painting would leave behind, but it costs a few steps per row rather than one
// per band, however many bands there are.
void fillBands(std::vector<std::optional<QRgb>>& rows, int y1, int y2, const QColor& from,
               const QColor& to, int steps)
{
    if (y2 <= y1)
        return;
    const qint64 count = std::max(steps, 1);
    const long double stepR = static_cast<long double>(to.red() - from.red()) / count;
    const long double stepG = static_cast<long double>(to.green() - from.green()) / count;
    const long double stepB = static_cast<long double>(to.blue() - from.blue()) / count;
    const long double bandSize = static_cast<long double>(y2 - y1) / count;
    const qint64 bandRows = static_cast<qint64>(std::trunc(bandSize)) + 1;
    const auto bandTop = [&](qint64 band) { return y1 + roundEven(band * bandSize); };

    for (int row = y1; row < y2; ++row) {
        // The last band whose top is on or above the row; band 0 starts at y1.
        qint64 lo = 0;
        qint64 hi = count - 1;
        while (lo < hi) {
            const qint64 mid = lo + (hi - lo + 1) / 2;
            if (bandTop(mid) <= row)
                lo = mid;
            else
                hi = mid - 1;
        }
        const qint64 bottom = std::min<qint64>(bandTop(lo) + bandRows, y2);
        if (row >= bottom)
            continue;
        rows[row] = qRgb(bandChannel(from.red(), stepR, lo), bandChannel(from.green(), stepG, lo),
                         bandChannel(from.blue(), stepB, lo));
    }
}

} // namespace

SegmentBar::SegmentBar(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted, opaque: nothing beneath need be painted first, at every step.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(sizeHint());
}

QSize SegmentBar::sizeHint() const
{
    return {182, 18};
}

void SegmentBar::setMin(int value)
{
    m_min = value;
    update();
}

void SegmentBar::setMax(int value)
{
    m_max = value;
    update();
}

void SegmentBar::setPosition(int value)
{
    m_position = value;
    repaint();
}

void SegmentBar::setLevel0Color(const QColor& colour)
{
    m_level0Color = colour;
    update();
}

void SegmentBar::setLevel0ColorTo(const QColor& colour)
{
    m_level0ColorTo = colour;
    update();
}

void SegmentBar::setLevel1Color(const QColor& colour)
{
    m_level1Color = colour;
    update();
}

void SegmentBar::setLevel1ColorTo(const QColor& colour)
{
    m_level1ColorTo = colour;
    update();
}

void SegmentBar::setLevel2Color(const QColor& colour)
{
    m_level2Color = colour;
    update();
}

void SegmentBar::setLevel2ColorTo(const QColor& colour)
{
    m_level2ColorTo = colour;
    update();
}

void SegmentBar::setLevel3Color(const QColor& colour)
{
    m_level3Color = colour;
    update();
}

void SegmentBar::setLevel3ColorTo(const QColor& colour)
{
    m_level3ColorTo = colour;
    update();
}

void SegmentBar::setLevel1Perc(int percent)
{
    m_level1Perc = percent;
    update();
}

void SegmentBar::setLevel2Perc(int percent)
{
    m_level2Perc = percent;
    update();
}

void SegmentBar::setSteps(int steps)
{
    m_steps = steps;
    update();
}

void SegmentBar::setShowGradient(bool on)
{
    m_showGradient = on;
    update();
}

void SegmentBar::setShowBorder(bool on)
{
    m_showBorder = on;
    update();
}

void SegmentBar::setBorderColor(const QColor& colour)
{
    m_borderColor = colour;
    update();
}

void SegmentBar::setBackgroundColor(const QColor& colour)
{
    m_backgroundColor = colour;
    update();
}

void SegmentBar::paintEvent(QPaintEvent*)
{
    // Built off-screen and copied in one go, so the bar never flickers while it grows.
    const QImage image = picture();
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

// The per cent value and the filled length are kept in 64 bits, which no int position, minimum,
// maximum or widget width can overflow:
//   |P| <= roundToNearest(2^31 / 1 * 100) and the inner width is below QWIDGETSIZE_MAX, so
//   |P * inner width| < 2^31 * 100 * 2^24 < 2^63.
// The filled length is then cut to the widget width W: from F = W on, every block pixel inside
// the control is already drawn, and a longer bar would only add blocks that lie past the right
// edge and are clipped. So a position far above the maximum (even INT_MAX with a maximum of 1)
// shows a full bar and the block loop never runs more than W / 9 times.
static_assert((qint64(INT_MAX) + 1) * 100 * QWIDGETSIZE_MAX < LLONG_MAX);

QImage SegmentBar::picture() const
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return {};
    QImage image(w, h, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, w, h), m_backgroundColor);
    if (m_showBorder) {
        painter.fillRect(QRect(0, 0, w, 1), m_borderColor);
        painter.fillRect(QRect(0, h - 1, w, 1), m_borderColor);
        painter.fillRect(QRect(0, 0, 1, h), m_borderColor);
        painter.fillRect(QRect(w - 1, 0, 1, h), m_borderColor);
    }

    // The per cent value is taken from the position over the span, as the main window (whose
    // minimum is 0) reports it.
    const qint64 span = qint64(m_max) - m_min;
    const qint64 percent =
        span == 0 ? 0 : roundEven(static_cast<long double>(m_position) / span * 100.0L);
    if (percent < 1)
        return image;

    QColor colour;
    QColor colourTo;
    if (percent < m_level1Perc) {
        colour = m_level0Color;
        colourTo = m_level0ColorTo;
    } else if (percent >= m_level2Perc) {
        colour = percent >= 100 ? m_level3Color : m_level2Color;
        colourTo = percent >= 100 ? m_level3ColorTo : m_level2ColorTo;
    } else {
        colour = m_level1Color;
        colourTo = m_level1ColorTo;
    }

    const qint64 inner = w - 2;
    const qint64 filled =
        std::min<qint64>(roundEven(static_cast<long double>(percent * inner) / 100.0L), w);

    const int top = kMargin;
    const int bottom = h - kMargin;
    const int mid = kMargin + (h - 2 * kMargin) / 2;
    // Every shaded block has the same colour on a row: the rows' colours are worked out once,
    // and each block is then a run of pixels on each of its rows.
    std::vector<std::optional<QRgb>> rows(static_cast<std::size_t>(h));
    if (m_showGradient) {
        fillBands(rows, top, mid, colourTo, colour, m_steps);
        fillBands(rows, mid, bottom, colour, colourTo, m_steps);
        painter.end();
    }
    const auto drawBlock = [&](int x1, int x2) {
        if (!m_showGradient) {
            painter.fillRect(QRect(x1, top, x2 - x1, bottom - top), colour);
            return;
        }
        x2 = std::min(x2, w);
        for (int row = top; row < bottom && x1 < x2; ++row) {
            if (rows[row])
                std::fill_n(reinterpret_cast<QRgb*>(image.scanLine(row)) + x1, x2 - x1, *rows[row]);
        }
    };

    if (filled <= kBlockPitch) {
        // A short bar is one block as long as it is, less one pixel.
        if (filled >= 2)
            drawBlock(kMargin, static_cast<int>(filled) + 1);
        return image;
    }
    const int blocks = static_cast<int>(filled / kBlockPitch);
    for (int k = 0; k < blocks; ++k) {
        const int x = kMargin + kBlockPitch * k;
        drawBlock(x, x + kBlockWidth);
    }
    // What is left after the full blocks shows as a narrower block when it is 3 pixels or more.
    const int rest = static_cast<int>(filled % kBlockPitch);
    if (rest > 2) {
        const int x = kMargin + kBlockPitch * blocks;
        drawBlock(x, x + rest - 1);
    }
    return image;
}
