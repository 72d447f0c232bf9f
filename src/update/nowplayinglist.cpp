#include "update/nowplayinglist.h"

#include "text/linerole.h"
#include "text/win1250.h"
#include "update/duplicatelines.h"

#include <QHash>

int NowPlayingList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant NowPlayingList::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QByteArray& line = m_lines.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return win1250ToUnicode(line);
    case kLineRole:
        return line;
    default:
        return {};
    }
}

void NowPlayingList::append(const QByteArray& line, const std::optional<NextUp>& next)
{
    const int row = static_cast<int>(m_lines.size());
    beginInsertRows(QModelIndex(), row, row);
    m_lines.append(line);
    m_next.append(next);
    endInsertRows();
}

void NowPlayingList::removeRepeats()
{
    const QList<int> repeats = duplicateRows(m_lines);
    if (repeats.isEmpty())
        return;
    QHash<QByteArray, int> firstRow;
    for (int row = 0; row < m_lines.size(); ++row) {
        if (!firstRow.contains(m_lines[row]))
            firstRow.insert(m_lines[row], row);
    }
    for (const int row : repeats)
        m_next[firstRow.value(m_lines[row])] = m_next[row];

    for (auto row = repeats.crbegin(); row != repeats.crend(); ++row) {
        beginRemoveRows(QModelIndex(), *row, *row);
        m_lines.removeAt(*row);
        m_next.removeAt(*row);
        endRemoveRows();
    }
}

void NowPlayingList::clear()
{
    if (m_lines.isEmpty())
        return;
    beginResetModel();
    m_lines.clear();
    m_next.clear();
    endResetModel();
}
