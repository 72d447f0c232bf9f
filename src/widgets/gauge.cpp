#include "widgets/gauge.h"

#include "text/errorbox.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// A refused range is reported in the error box, never thrown: a setter may run inside a queued
// progress report, and an exception must not unwind through the event loop.
void refuseOutOfRange(qint64 lowest, qint64 highest)
{
    showErrorBox(QStringLiteral("Value must be between %1 and %2")
                     .arg(QString::number(lowest), QString::number(highest)));
}

} // namespace

Gauge::Gauge(QWidget* parent) : QWidget(parent)
{
    resize(sizeHint());
}

QSize Gauge::sizeHint() const
{
    return {81, 1};
}

// (Progress - MinValue) * 100 / (MaxValue - MinValue), rounded toward zero. In 64 bits neither
// the differences nor the product (below 2^32 * 100) can overflow, and the integer division
// gives the same whole per cent as a division on reals would.
int Gauge::percentDone() const
{
    const qint64 span = qint64(m_maxValue) - m_minValue;
    if (span == 0)
        return 0;
    return static_cast<int>((qint64(m_progress) - m_minValue) * 100 / span);
}

void Gauge::setProgress(int value)
{
    const int clamped = std::clamp(value, m_minValue, m_maxValue);
    if (clamped == m_progress)
        return;
    const int before = percentDone();
    m_progress = clamped;
    if (percentDone() != before)
        paintChange();
}

void Gauge::setMaxValue(int value)
{
    if (value == m_maxValue)
        return;
    if (value < m_minValue)
        return refuseOutOfRange(qint64(m_minValue) + 1, INT_MAX);
    m_maxValue = value;
    m_progress = std::min(m_progress, value);
    paintChange();
}

void Gauge::setMinValue(int value)
{
    if (value == m_minValue)
        return;
    if (value > m_maxValue)
        return refuseOutOfRange(INT_MIN, qint64(m_maxValue) - 1);
    m_minValue = value;
    m_progress = std::max(m_progress, value);
    paintChange();
}

void Gauge::paintChange()
{
    if (m_paintsAtOnce)
        repaint();
    else
        update();
}

void Gauge::setForeColor(const QColor& colour)
{
    m_foreColor = colour;
    update();
}

void Gauge::setBackColor(const QColor& colour)
{
    m_backColor = colour;
    update();
}

void Gauge::paintEvent(QPaintEvent*)
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return;
    // Built off-screen and copied in one step. Either colour may be transparent (over a
    // translucent window): it replaces what the picture held, and lets the window show through.
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(QRect(0, 0, w, h), m_backColor);
        // The filled width counts W + 1 columns, so 100 % always covers the whole line.
        const long double share = percentDone() * 0.01L;
        const qint64 filled =
            std::min<qint64>(static_cast<qint64>(std::trunc((w + 1) * share)), qint64(w) + 1);
        if (filled > 0)
            painter.fillRect(QRect(0, 0, static_cast<int>(filled), h + 1), m_foreColor);
    }
    QPainter(this).drawImage(0, 0, image);
}
