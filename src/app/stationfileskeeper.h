#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <functional>

class QWidget;
class StationListBox;
class UpdateEngine;

// Keeps the station list in its two files across runs. It loads them when the main window is
// first shown or activated, and tries again at the next show or activation after a failure; it
// saves them whenever the program ends: at "Koniec", when the window closes, when asked to end
// from outside (SIGTERM, SIGINT) and when the desktop session ends. A failed save shows the
// error box and keeps the program running, except when nobody could answer the box.
class StationFilesKeeper : public QObject {
    Q_OBJECT
public:
    // Writes one station file: the path and its lines.
    using Writer = std::function<void(const QString&, const QList<QByteArray>&)>;

    // Watches `window`, the main window, for its first show or activation and for its close.
    // Until the files are read, `stations` holds the default list.
    StationFilesKeeper(QWidget* window, StationListBox* stations, UpdateEngine* engine,
                       Writer write, QObject* parent = nullptr);

    // "Koniec": the list is saved, and the window closes if it could be.
    void close1Click();
    // Asked to end from outside: saves as "Koniec" does, but nobody waits for an error box
    // there, so a failed save is logged and the program ends anyway.
    void endFromOutside();
    // The session is ending: the files are saved the same way, without an error box.
    void saveForSessionEnd();
    // A save on the way out failed: the program ends with a status that says so.
    bool lostChanges() const { return m_lostChanges; }

signals:
    // The folder has neither station file: the program starts here for the first time. The
    // list holds the default stations until a connection says otherwise.
    void noStationFiles();
    // The station files are the user's now: read, or there were none to read.
    void activated();
    // The files are about to be saved on the way out; whatever else is kept goes now too.
    void saving();
    // The main window has closed and the program should end.
    void ended();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormActivate();
    // True: the window may close.
    bool FormCloseQuery();
    void loadStationList();
    void saveStationList();
    void LoadCheckedStates();
    void SaveCheckedStates();
    // Runs one handler step by step; a reported error stops it and shows the error box.
    bool guarded(const std::function<void()>& steps);

    QWidget* m_window;
    StationListBox* m_stations;
    UpdateEngine* m_engine;
    Writer m_write;
    bool m_loaded = false;
    bool m_skipNextActivation = false;
    bool m_endingFromOutside = false;
    bool m_lostChanges = false;
};
