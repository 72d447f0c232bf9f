#include "update/nowplayinglist.h"

#include "text/linerole.h"
#include "text/win1250.h"
#include "update/duplicatelines.h"

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

void NowPlayingList::append(const QByteArray& line)
{
    const int row = static_cast<int>(m_lines.size());
    beginInsertRows(QModelIndex(), row, row);
    m_lines.append(line);
    endInsertRows();
}

void NowPlayingList::removeRepeats()
{
    const QList<int> repeats = duplicateRows(m_lines);
    for (auto row = repeats.crbegin(); row != repeats.crend(); ++row) {
        beginRemoveRows(QModelIndex(), *row, *row);
        m_lines.removeAt(*row);
        endRemoveRows();
    }
}

void NowPlayingList::clear()
{
    if (m_lines.isEmpty())
        return;
    beginResetModel();
    m_lines.clear();
    endResetModel();
}
