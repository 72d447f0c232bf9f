#include "display/nownextdelegate.h"

#include "widgets/look.h"

#include <QPainter>

#include <cmath>

NowNextDelegate::NowNextDelegate(int rowHeight, QObject* parent)
    : CheckRowDelegate(rowHeight, parent), m_rowHeight(rowHeight)
{
}

int NowNextDelegate::donePixels(std::optional<double> done, int rowWidth) const
{
    if (!done)
        return -1;
    const int length = std::max(0, rowWidth - 2 * textMargin());
    return static_cast<int>(std::lround(std::clamp(*done, 0.0, 1.0) * length));
}

bool NowNextDelegate::hasSecondRow(const QModelIndex& index) const
{
    return m_showsNext && !index.data(NextRole).toString().isEmpty();
}

QSize NowNextDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QSize line = CheckRowDelegate::sizeHint(option, index);
    return hasSecondRow(index) ? QSize(line.width(), doubleRowHeight()) : line;
}

void NowNextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    if (!hasSecondRow(index)) {
        CheckRowDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem line = option;
    line.rect.setHeight(m_rowHeight);
    CheckRowDelegate::paint(painter, line, index);

    painter->save();
    const int left = option.rect.left() + textMargin();
    const int under = option.rect.top() + m_rowHeight;
    const QVariant done = index.data(DoneRole);
    const int run = donePixels(done.isValid() ? std::optional(done.toDouble()) : std::nullopt,
                               option.rect.width());
    if (run >= 0) {
        // What has run in the text's colour, what is still to come in the accent.
        const int length = option.rect.width() - 2 * textMargin();
        painter->fillRect(QRect(left, under, run, 1), option.palette.text());
        painter->fillRect(QRect(left + run, under, length - run, 1), kAccent);
    }
    painter->setFont(option.font);
    painter->setPen(m_dim);
    painter->drawText(
        QRect(left + kIndent, under + 1, option.rect.right() - left - kIndent, m_rowHeight),
        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, index.data(NextRole).toString());
    painter->restore();
}
