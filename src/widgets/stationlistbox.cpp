#include "widgets/stationlistbox.h"

#include "text/linerole.h"
#include "text/win1250.h"
#include "widgets/checkrowdelegate.h"
#include "widgets/look.h"

#include <QEvent>
#include <QScopedValueRollback>

StationListBox::StationListBox(QWidget* parent) : QListWidget(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFont(layoutFont(QStringLiteral("Verdana"), 9));
    setItemDelegate(new CheckRowDelegate(12, this));
    setTextElideMode(Qt::ElideNone);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackground(this, Qt::white);
    setTextColour(this, QColor(128, 128, 128));
    connect(this, &QListWidget::itemChanged, this, [this] {
        if (!m_programChangesChecks)
            emit userChangedCheck();
    });
}

void StationListBox::appendStation(const QByteArray& entry)
{
    const QScopedValueRollback<bool> quiet(m_programChangesChecks, true);
    // The row shows the entry and keeps its own bytes, so it is saved exactly as it was read,
    // even with bytes that have no Unicode meaning.
    auto* item = new QListWidgetItem(win1250ToUnicode(entry), this);
    item->setData(kLineRole, entry);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
}

void StationListBox::setStations(const QList<QByteArray>& entries)
{
    clear();
    for (const QByteArray& entry : entries)
        appendStation(entry);
}

QList<QByteArray> StationListBox::stations() const
{
    QList<QByteArray> entries;
    entries.reserve(count());
    for (int row = 0; row < count(); ++row)
        entries.append(item(row)->data(kLineRole).toByteArray());
    return entries;
}

QList<bool> StationListBox::checkMarks() const
{
    QList<bool> marks;
    marks.reserve(count());
    for (int row = 0; row < count(); ++row)
        marks.append(item(row)->checkState() == Qt::Checked);
    return marks;
}

void StationListBox::deleteSelected()
{
    const int row = currentRow();
    if (row < 0 || !item(row)->isSelected())
        return;
    delete takeItem(row);
    // So a second press deletes nothing more.
    setCurrentRow(-1);
    clearSelection();
}

void StationListBox::checkQuietly(int row)
{
    const QScopedValueRollback<bool> quiet(m_programChangesChecks, true);
    item(row)->setCheckState(Qt::Checked);
}

// Reported once the list has handled the click itself, so the selection is up to date.
bool StationListBox::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick)
        QMetaObject::invokeMethod(this, &StationListBox::doubleClickedAnywhere,
                                  Qt::QueuedConnection);
    return QListWidget::viewportEvent(event);
}
