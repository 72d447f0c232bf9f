#pragma once

#include "update/pageprogramme.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>
#include <optional>

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
    // The programme after each line's, from the same page, in the order of lines(); nullopt
    // where the page had none.
    const QList<std::optional<NextUp>>& nextUp() const { return m_next; }
    qsizetype count() const { return m_lines.size(); }

    // Appends a line, with the programme that follows it, at the end.
    void append(const QByteArray& line, const std::optional<NextUp>& next = std::nullopt);
    // Removes every line that repeats an earlier one, keeping the first of equal lines and
    // the order of the rest. The first line takes the next programme of its last repeat:
    // that is the freshest word on what follows.
    void removeRepeats();
    void clear();

private:
    QList<QByteArray> m_lines;
    QList<std::optional<NextUp>> m_next;
};
