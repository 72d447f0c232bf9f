#pragma once

#include <QSortFilterProxyModel>
#include <QString>

// Shows the channel rows whose names hold the search text, case and Polish diacritics
// ignored: "lodz" finds "TVP3 Łódź".
class ChannelFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setSearch(const QString& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_folded;
};
