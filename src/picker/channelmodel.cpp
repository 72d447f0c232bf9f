#include "picker/channelmodel.h"

#include "stations/channeltimes.h"
#include "stations/stationentry.h"
#include "text/searchfold.h"

void ChannelModel::setStations(const QList<QByteArray>& entries, const QList<bool>& checks)
{
    m_listed.clear();
    for (qsizetype row = 0; row < entries.size() && row < checks.size(); ++row) {
        if (checks.at(row))
            m_listed.insert(EntryURL(entries.at(row)));
    }
    m_ticked = m_listed;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, Name), index(rowCount() - 1, Name), {Qt::CheckStateRole});
}

void ChannelModel::setChannels(const QList<PortalChannel>& channels, const QDateTime& now)
{
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(channels.size());
    for (const PortalChannel& channel : channels) {
        m_rows.append({channel, EntryURL(channel.station),
                       onAirText(channel.nowStart, channel.nowTitle, now),
                       reachText(channel.until, now),
                       foldForSearch(channel.names.join(QLatin1Char('\n')) + QLatin1Char('\n') +
                                     channel.id)});
    }
    endResetModel();
}

void ChannelModel::toggle(int row)
{
    if (row >= 0 && row < m_rows.size())
        setTicked(row, !isTicked(m_rows.at(row)));
}

void ChannelModel::setTicked(int row, bool ticked)
{
    if (ticked)
        m_ticked.insert(m_rows.at(row).url);
    else
        m_ticked.remove(m_rows.at(row).url);
    emit dataChanged(index(row, Name), index(row, Name), {Qt::CheckStateRole});
}

QList<QByteArray> ChannelModel::added() const
{
    QList<QByteArray> lines;
    QSet<QByteArray> seen;
    for (const Row& row : m_rows) {
        if (isTicked(row) && !m_listed.contains(row.url) && !seen.contains(row.url)) {
            seen.insert(row.url);
            lines << row.channel.station;
        }
    }
    return lines;
}

QList<QByteArray> ChannelModel::unchecked() const
{
    QList<QByteArray> lines;
    QSet<QByteArray> seen;
    for (const Row& row : m_rows) {
        if (!isTicked(row) && m_listed.contains(row.url) && !seen.contains(row.url)) {
            seen.insert(row.url);
            lines << row.channel.station;
        }
    }
    return lines;
}

int ChannelModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ChannelModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ChannelModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row& row = m_rows.at(index.row());
    if (role == kSearchRole)
        return row.search;
    if (role == Qt::CheckStateRole && index.column() == Name)
        return isTicked(row) ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::ToolTipRole && index.column() == Name)
        return row.channel.names.join(QStringLiteral(", "));
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case Name:
        return row.channel.names.first();
    case OnAir:
        return row.onAir;
    case Reach:
        return row.reach;
    }
    return {};
}

bool ChannelModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != Name || role != Qt::CheckStateRole)
        return false;
    setTicked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ChannelModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == Name)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant ChannelModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case Name:
        return tr("Kanał");
    case OnAir:
        return tr("Teraz");
    case Reach:
        return tr("Program");
    }
    return {};
}
