#pragma once

#include <QByteArray>
#include <QStringList>
#include <QWidget>

class DebugLog;
class QAbstractItemModel;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

// The main window's debug area, below its visible part until the debug access word is typed:
// the progress caption, the debug log and the now-playing list with its two buttons.
class DebugArea : public QWidget {
    Q_OBJECT
public:
    // Where the area starts on the main window.
    static constexpr int kTop = 300;

    // nowPlaying is the now-playing list `ilosc` shows.
    DebugArea(QAbstractItemModel* nowPlaying, QWidget* parent);

    void appendLog(const QStringList& lines);
    void showDownloadProgress(const QByteArray& station, int readed, int total);

signals:
    // "kasuj" and "dodaj fake".
    void clearChosen();
    void testLineChosen(const QByteArray& line);

private:
    void iloscClick();
    void Button1Click();
    void Button2Click();

    QLabel* xxx;
    QLabel* Label1;
    DebugLog* Memo2;
    QListView* ilosc;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;
};
