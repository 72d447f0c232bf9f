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

namespace {

QRect checkPlace(const QStyleOptionViewItem& option)
{
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, option.widget);
}

} // namespace

QImage CheckRowDelegate::boxPicture(bool checked) const
{
    const int side = std::min(9, m_rowHeight - 2);
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setPen(kAccent);
    painter.drawRect(0, 0, side - 1, side - 1);
    if (checked) {
        // A tick of two strokes, two pixels thick.
        painter.setPen(QPen(kAccent.darker(150), 1));
        for (int dy = 0; dy < 2; ++dy) {
            painter.drawLine(QPoint(2, 3 + dy), QPoint(3, 4 + dy));
            painter.drawLine(QPoint(4, 5 + dy), QPoint(side - 3, 2 + dy));
        }
    }
    return picture;
}

QRect CheckRowDelegate::checkBox(const QStyleOptionViewItem& option) const
{
    const int side = std::min(9, m_rowHeight - 2);
    QRect box(0, 0, side, side);
    box.moveCenter(checkPlace(option).center());
    return box;
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
    painter->save();
    painter->fillRect(checkPlace(opt), opt.palette.base());
    // Drawn pixel by pixel at one pixel a point and scaled as a whole: on a screen of a higher
    // device pixel ratio each pixel becomes a square of device pixels, so the thin frame stays
    // sharp and in its place instead of straddling device pixels half a point off.
    painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter->drawImage(checkBox(opt).topLeft(), boxPicture(opt.checkState == Qt::Checked));
    painter->restore();
}
