#include "app/programicon.h"

#include "widgets/look.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap televisionPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double u = size / 16.0;

    // Antenna.
    p.setPen(QPen(kAccent, std::max(1.0, u * 0.9), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5 * u, 1.0 * u), QPointF(8.0 * u, 4.0 * u));
    p.drawLine(QPointF(10.5 * u, 1.0 * u), QPointF(8.0 * u, 4.0 * u));

    // Cabinet and screen.
    const QRectF cabinet(0.5 * u, 4.0 * u, 15.0 * u, 11.0 * u);
    p.setPen(QPen(kAccent.darker(140), std::max(1.0, u * 0.8)));
    p.setBrush(kAccent);
    p.drawRoundedRect(cabinet, 2.0 * u, 2.0 * u);
    QLinearGradient glass(0, 5.5 * u, 0, 13.5 * u);
    glass.setColorAt(0.0, QColor(255, 255, 255));
    glass.setColorAt(0.5, kCream);
    glass.setColorAt(0.51, QColor(226, 232, 222));
    glass.setColorAt(1.0, QColor(196, 206, 192));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawRoundedRect(QRectF(2.0 * u, 5.5 * u, 10.0 * u, 8.0 * u), 1.5 * u, 1.5 * u);

    // Two knobs.
    p.setBrush(kCream);
    p.drawEllipse(QPointF(13.6 * u, 7.5 * u), 0.9 * u, 0.9 * u);
    p.drawEllipse(QPointF(13.6 * u, 11.0 * u), 0.9 * u, 0.9 * u);
    return pixmap;
}

} // namespace

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(televisionPixmap(size));
    return icon;
}
