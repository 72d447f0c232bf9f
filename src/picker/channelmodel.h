#pragma once

#include "stations/portalchannels.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QStringList>

// The channel picker's rows: the portal's channels, each with a check box, its name, what is on
// now and how far its listings reach. The ticks are kept by station URL, so they survive a new
// answer from the portal, and so does the knowledge of which channels the station list already
// has checked: only the difference is picked.
class ChannelModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, OnAir, Reach, ColumnCount };
    // The folded text of all a channel's names and its id, which the search compares.
    static constexpr int kSearchRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    // The station list: channels whose URL a checked entry has come ticked. Ticks the user
    // gave are forgotten.
    void setStations(const QList<QByteArray>& entries, const QList<bool>& checks);
    // The rows, with their times on the clock of `now`.
    void setChannels(const QList<PortalChannel>& channels, const QDateTime& now);
    void toggle(int row);

    // Station lines of the channels ticked now that the station list does not have checked,
    // and of those it has checked that are no longer ticked; in the rows' order.
    QList<QByteArray> added() const;
    QList<QByteArray> unchecked() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        PortalChannel channel;
        QByteArray url;
        QString onAir;
        QString reach;
        QString search;
    };
    bool isTicked(const Row& row) const { return m_ticked.contains(row.url); }
    void setTicked(int row, bool ticked);

    QList<Row> m_rows;
    QSet<QByteArray> m_listed; // URLs the station list has checked
    QSet<QByteArray> m_ticked;
};
