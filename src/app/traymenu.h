#pragma once

#include <QMenu>

class QAction;
class QActionGroup;

// The tray menu `PopupMenu1`: the main window, the channel picker, the download statistics, the
// six update frequencies, the current one checked, and the end of the program.
class TrayMenu : public QMenu {
    Q_OBJECT
public:
    explicit TrayMenu(QWidget* parent = nullptr);

    // The captions of the two statistics items, "Pobrano: ..." and "Udane aktualizacje: ...".
    void showPobrano(const QString& caption);
    void showAkt(const QString& caption);

    // Picks the frequency of `keyword` ("slowest" ... "extreme") as a click on its item does;
    // false for any other keyword.
    bool chooseFrequency(const QString& keyword);

signals:
    // "Ustawienia" and "Koniec".
    void settingsChosen();
    void endChosen();
    // "Wybierz kanały…".
    void channelsChosen();
    // One of the frequencies was picked.
    void frequencyChosen(const QString& keyword);

private:
    QAction* pobrano;
    QAction* akt;
    QActionGroup* m_frequencies;
};
