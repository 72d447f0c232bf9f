#pragma once

#include "widgets/checkrowdelegate.h"

#include <QColor>
#include <optional>

// The rows of the desktop widget's list. A row is a now-playing line; while the next
// programme is shown, a line that has one gets a one-pixel line under it, how much of its
// programme has run, and a second row, indented and in a dim colour, saying what comes next.
class NowNextDelegate : public CheckRowDelegate {
public:
    // The second row's text, and how much has run (a double from 0 to 1), of a row.
    static constexpr int NextRole = Qt::UserRole + 1;
    static constexpr int DoneRole = Qt::UserRole + 2;
    // How far the second row stands in from the line.
    static constexpr int kIndent = 10;

    NowNextDelegate(int rowHeight, QObject* parent);

    void setShowsNext(bool shows) { m_showsNext = shows; }
    // The colour of the second rows.
    void setDimColour(const QColor& colour) { m_dim = colour; }
    bool showsNext() const { return m_showsNext; }

    // The height of a line with its progress line and second row.
    int doubleRowHeight() const { return 2 * m_rowHeight + 1; }
    // How many pixels of the progress line show `done`, in a list whose rows are `rowWidth`
    // wide; nothing shows none.
    int donePixels(std::optional<double> done, int rowWidth) const;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    bool hasSecondRow(const QModelIndex& index) const;
    // How far the progress line keeps from the row's sides, where the line's text begins.
    static int textMargin() { return 3; }

    int m_rowHeight;
    bool m_showsNext = false;
    QColor m_dim;
};
