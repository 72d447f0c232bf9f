#include "widgets/bytelines.h"

#include "text/win1250.h"

#include <QListWidget>

QListWidgetItem* appendLine(QListWidget* list, const QByteArray& line)
{
    auto* item = new QListWidgetItem(win1250ToUnicode(line));
    item->setData(Qt::UserRole, line);
    list->addItem(item);
    return item;
}

QByteArray lineOf(const QListWidgetItem* item)
{
    return item->data(Qt::UserRole).toByteArray();
}

QByteArray lineAt(const QListWidget* list, int row)
{
    return lineOf(list->item(row));
}

QList<QByteArray> linesOf(const QListWidget* list)
{
    QList<QByteArray> lines;
    lines.reserve(list->count());
    for (int row = 0; row < list->count(); ++row)
        lines.append(lineAt(list, row));
    return lines;
}

void setLines(QListWidget* list, const QList<QByteArray>& lines)
{
    list->clear();
    for (const QByteArray& line : lines)
        appendLine(list, line);
}
