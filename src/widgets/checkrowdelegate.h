#pragma once

#include <QStyledItemDelegate>

// Rows of a check list at a fixed height (the station list's are 12 pixels), with a small
// check box of the program's own colours that stays sharp in such a low row.
class CheckRowDelegate : public QStyledItemDelegate {
public:
    CheckRowDelegate(int rowHeight, QObject* parent);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    int m_rowHeight;
};
