#pragma once

#include <QMenu>

class UpdateEngine;

// The tray menu `PopupMenu1`: the main window, the download statistics, the six update
// frequencies and the end of the program.
class TrayMenu : public QMenu {
    Q_OBJECT
public:
    TrayMenu(UpdateEngine* engine, QWidget* parent);

signals:
    // "Ustawienia" and "Koniec".
    void settingsChosen();
    void endChosen();
};
