#pragma once

#include <QImage>
#include <QStyledItemDelegate>

// Rows of a check list at a fixed height (the station list's are 12 pixels), with a small
// check box of the program's own colours that stays sharp in such a low row.
class CheckRowDelegate : public QStyledItemDelegate {
public:
    CheckRowDelegate(int rowHeight, QObject* parent);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // The check box drawn in a row, for the row's style option filled in for its index.
    QRect checkBox(const QStyleOptionViewItem& option) const;

private:
    // The box, checked or not, one pixel a point.
    QImage boxPicture(bool checked) const;

    int m_rowHeight;
};
