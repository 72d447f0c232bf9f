#pragma once

#include <QByteArray>
#include <QWidget>

class DebugLog;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class UpdateEngine;

// The main window's debug area, below its visible part until the debug access word is typed:
// the progress caption, the debug log and the now-playing list with its two buttons. It shows
// what the update engine reports.
class DebugArea : public QWidget {
    Q_OBJECT
public:
    // Where the area starts on the main window.
    static constexpr int kTop = 300;

    DebugArea(UpdateEngine* engine, QWidget* parent);

    void iloscClick();
    void Button1Click();
    void Button2Click();

private:
    void showDownloadProgress(const QByteArray& station, int readed, int total);

    UpdateEngine* m_engine;
    QLabel* xxx;
    QLabel* Label1;
    DebugLog* Memo2;
    QListView* ilosc;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;
};
