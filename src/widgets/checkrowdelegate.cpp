#include "widgets/checkrowdelegate.h"

#include "widgets/look.h"

#include <QApplication>
#include <QPainter>

CheckRowDelegate::CheckRowDelegate(int rowHeight, QObject* parent)
    : QStyledItemDelegate(parent), m_rowHeight(rowHeight)
{
}

QSize CheckRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return {QStyledItemDelegate::sizeHint(option, index).width(), m_rowHeight};
}

// The style lays out and draws the row; the check box is then drawn over its place, because
// the style's own box is drawn for taller rows and comes out faint and clipped here.
void CheckRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);

    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (!(opt.features & QStyleOptionViewItem::HasCheckIndicator))
        return;
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    const QRect place =
        style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, opt.widget);
    const int side = std::min(9, m_rowHeight - 2);
    QRect box(0, 0, side, side);
    box.moveCenter(place.center());

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->fillRect(place, opt.palette.base());
    painter->setPen(kAccent);
    painter->setBrush(Qt::white);
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    if (opt.checkState == Qt::Checked) {
        // A tick of two strokes, two pixels thick.
        const QPoint o = box.topLeft();
        painter->setPen(QPen(kAccent.darker(150), 1));
        for (int dy = 0; dy < 2; ++dy) {
            painter->drawLine(o + QPoint(2, 3 + dy), o + QPoint(3, 4 + dy));
            painter->drawLine(o + QPoint(4, 5 + dy), o + QPoint(side - 3, 2 + dy));
        }
    }
    painter->restore();
}
