#include "update/duplicatelines.h"

#include <QSet>

QList<int> duplicateRows(const QList<QByteArray>& lines)
{
    QList<int> rows;
    QSet<QByteArray> seen;
    seen.reserve(lines.size());
    for (int row = 0; row < lines.size(); ++row) {
        if (seen.contains(lines[row]))
            rows.append(row);
        else
            seen.insert(lines[row]);
    }
    return rows;
}
