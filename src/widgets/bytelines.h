#pragma once

#include <QByteArray>
#include <QList>

class QListWidget;
class QListWidgetItem;

// List boxes whose rows are the program's 8-bit Windows-1250 lines. Each row keeps the line's
// own bytes beside the text it shows, so a line goes back out exactly as it came in, even with
// bytes that have no Unicode meaning.

QListWidgetItem* appendLine(QListWidget* list, const QByteArray& line);
QByteArray lineOf(const QListWidgetItem* item);
QByteArray lineAt(const QListWidget* list, int row);
QList<QByteArray> linesOf(const QListWidget* list);
void setLines(QListWidget* list, const QList<QByteArray>& lines);
