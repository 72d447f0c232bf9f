#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>

// The now-playing list `ilosc`: one line per completed download, as the update engine files
// them. A list view shows it; each row shows its line as text and keeps the line's own bytes
// under LineRole, so it goes back out exactly as it came in.
class NowPlayingList : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    const QList<QByteArray>& lines() const { return m_lines; }
    qsizetype count() const { return m_lines.size(); }

    // Appends a line at the end.
    void append(const QByteArray& line);
    // Removes every line that repeats an earlier one, keeping the first of equal lines and
    // the order of the rest.
    void removeRepeats();
    void clear();

private:
    QList<QByteArray> m_lines;
};
