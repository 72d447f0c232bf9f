#include "stations/checkedstates.h"

#include "stations/strtoint.h"
#include "text/errorreport.h"

QList<QByteArray> checkedStateLines(const QList<bool>& checked)
{
    QList<QByteArray> lines;
    for (qsizetype i = 0; i < checked.size(); ++i) {
        if (checked[i])
            lines.append(QByteArray::number(i));
    }
    return lines;
}

void applyCheckedStateLines(const QList<QByteArray>& lines, int count,
                            const std::function<void(int)>& check)
{
    for (const QByteArray& line : lines) {
        const int position = strToInt(line);
        if (position < 0 || position >= count)
            throw ErrorReport(QStringLiteral("List index out of bounds (%1)").arg(position));
        check(position);
    }
}
