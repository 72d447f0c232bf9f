#pragma once

#include <QByteArray>
#include <QList>
#include <QListWidget>

// The station list `programy`: one row per station entry, showing its text beside a check
// box and keeping its own Windows-1250 bytes under kLineRole. It tells the user's own changes
// of a check mark from the program's, and a double click anywhere in it, on an entry or beside
// the entries, from a click.
class StationListBox : public QListWidget {
    Q_OBJECT
public:
    explicit StationListBox(QWidget* parent = nullptr);

    // Adds an entry at the end, unchecked.
    void appendStation(const QByteArray& entry);
    // Replaces every entry, unchecked.
    void setStations(const QList<QByteArray>& entries);
    QList<QByteArray> stations() const;
    QList<bool> checkMarks() const;
    // Deletes the selected entry, if one is; nothing stays selected afterwards.
    void deleteSelected();
    // Sets a check mark from the program, not from the user.
    void checkQuietly(int row);

signals:
    // The user checked or unchecked an entry.
    void userChangedCheck();
    void doubleClickedAnywhere();

protected:
    bool viewportEvent(QEvent* event) override;

private:
    bool m_programChangesChecks = false;
};
