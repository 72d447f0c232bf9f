#pragma once

#include <QMenu>

class QActionGroup;
class UpdateEngine;

// The tray menu `PopupMenu1`: the main window, the download statistics, the six update
// frequencies, the current one checked, and the end of the program.
class TrayMenu : public QMenu {
    Q_OBJECT
public:
    TrayMenu(UpdateEngine* engine, QWidget* parent);

    // Picks the frequency of `keyword` ("slowest" ... "extreme") as a click on its item does;
    // false for any other keyword.
    bool chooseFrequency(const QString& keyword);

signals:
    // "Ustawienia" and "Koniec".
    void settingsChosen();
    void endChosen();
    // One of the frequencies was picked.
    void frequencyChosen(const QString& keyword);

private:
    QActionGroup* m_frequencies;
};
