#include "widgets/bytelines.h"

#include "text/win1250.h"

#include <QListWidget>

QListWidgetItem* AppendLine(QListWidget* list, const QByteArray& line)
{
    auto* item = new QListWidgetItem(Win1250ToUnicode(line));
    item->setData(Qt::UserRole, line);
    list->addItem(item);
    return item;
}

QByteArray LineOf(const QListWidgetItem* item)
{
    return item->data(Qt::UserRole).toByteArray();
}

QByteArray LineAt(const QListWidget* list, int row)
{
    return LineOf(list->item(row));
}

QList<QByteArray> Lines(const QListWidget* list)
{
    QList<QByteArray> lines;
    lines.reserve(list->count());
    for (int row = 0; row < list->count(); ++row)
        lines.append(LineAt(list, row));
    return lines;
}

void SetLines(QListWidget* list, const QList<QByteArray>& lines)
{
    list->clear();
    for (const QByteArray& line : lines)
        AppendLine(list, line);
}
