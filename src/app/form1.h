#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

#include "update/downloadstatistics.h"
#include "update/listingsparser.h"
#include "update/updatestate.h"

class ClickLabel;
class Form2;
class GlowButton;
class HttpFetch;
class Okienko;
class QAction;
class QActionGroup;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class SegmentBar;
class SettingsPanel;
class TrayIcon;
class Form3;
class WindowDragger;

// The main window: the station list and its buttons, the tray menu, and below the visible area
// the debug area with the log and the now-playing list. It owns every non-visual part of the
// program. Controls keep their layout names, so the handlers read like the program always has.
class Form1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 350;
    static constexpr int kHeight = 239;
    static constexpr int kDebugHeight = 645;
    static inline const QString kCaption = QStringLiteral("ekranik 2oo6");
    static inline const QString kRelease = QStringLiteral("o.912");
    static inline const QString kHintBeforeActivation = QStringLiteral("ekranik 2oo6 beta o.3");
    static inline const QString kHint = QStringLiteral("ekranik 2oo6 beta o.912");

    explicit Form1(QWidget* parent = nullptr);

    // The input dialog the station buttons open.
    void setDialog(Okienko* dialog);
    // The desktop widget the updates write to.
    void setWidget(Form2* widget);
    // The window a reminder pops up in.
    void setReminderWindow(Form3* window) { reminderWindow_ = window; }

    // --- handlers ---------------------------------------------------------------------------
    void FormActivate();
    bool FormCloseQuery(); // true: the window may close
    // Asked to end from outside (SIGTERM, SIGINT): saves as "Koniec" does, but nobody waits for
    // an error box there, so a failed save is logged and the program ends anyway.
    void EndFromOutside();
    // The session is ending: the files are saved the same way, without an error box.
    void SaveForSessionEnd();
    // A save on the way out failed: the program ends with a status that says so.
    bool lostChanges() const { return lostChanges_; }
    void close1Click();
    void Ustawienia1Click();
    void Label5Click();
    void iloscClick();
    void Button1Click();
    void Button2Click();
    void Memo2Change();
    void addClick();
    void delClick();
    void programyClickCheck();
    void programyDblClick();
    // --- reminders ---------------------------------------------------------------------------
    void mhmClick();
    void ArmReminder(const QByteArray& keyword);
    void szukajkaTimer();
    // --- the updates -------------------------------------------------------------------------
    void Timer1Timer();
    void clearTimer();
    void SetUpdateFrequency(const QString& keyword);
    void StartStationDownload(const QByteArray& url, const QByteArray& name);
    // The last step of a tick: hands a complete now-playing list on.
    void PublicationStep();
    // An information balloon at the tray icon.
    void ShowBalloon(const QString& title, const QString& text, int seconds);
    void htProgress(int TotalSize, int Readed);
    void htDoneFile(const QString& FileName, int FileSize);
    void htError();

    // --- the station list and its files -----------------------------------------------------
    void LoadStationList();
    void SaveStationList();
    void LoadCheckedStates();
    void SaveCheckedStates();
    // Adds an entry at the end of the list, unchecked.
    void AppendStation(const QByteArray& entry);
    QList<QByteArray> Stations() const;
    QList<bool> CheckMarks() const;

    // Appends one line to the debug log (and to the "ekranik.log" logging category).
    void Log(const QString& line);
    // The debug access word: the window grows to show the debug area.
    void ShowDebugArea();

    // The program's title, the caption of its error boxes.
    QString applicationTitle() const { return applicationTitle_; }
    const UpdateState& updateState() const { return state_; }
    const DownloadStatistics& statistics() const { return statistics_; }
    const ListingsParser& parser() const { return parser_; }

    // Shows an error the way the framework always has: a box with the message and OK. Tests
    // replace it to collect the messages.
    std::function<void(const QString&)> ShowErrorBox;
    // Writes one station file; tests replace it to watch the order of writes.
    std::function<void(const QString&, const QList<QByteArray>&)> WriteStationFile;

    // --- controls, by their layout names ----------------------------------------------------
    QLabel* Label4;
    QLabel* ver;
    ClickLabel* Label5;
    QListWidget* programy;
    SettingsPanel* acset;
    QLabel* Label2;
    GlowButton* GlowButton1;
    GlowButton* GlowButton2;
    GlowButton* GlowButton3;
    GlowButton* mhm;
    SegmentBar* pb;
    // debug area
    QLabel* xxx;
    QLabel* Label1;
    QPlainTextEdit* Memo2;
    QListWidget* ilosc;
    QLineEdit* Edit1;
    QPushButton* Button1;
    QPushButton* Button2;
    // The buffer the checked-state file is read into and written from.
    QList<QByteArray> l;

    // --- non-visual parts ---------------------------------------------------------------------
    HttpFetch* ht;
    QTimer* Timer1;
    QTimer* clear;
    QTimer* szukajka;

    // --- menus and the tray icon ------------------------------------------------------------
    QMenu* PopupMenu1;
    QAction* Ustawienia1;
    QMenu* Statystyki1;
    QAction* pobrano;
    QAction* akt;
    QMenu* Czstotliwo1;
    QAction* Extremalnieszybko1;
    QAction* Najszybciej5s1;
    QAction* Szybko10s1;
    QAction* Normalnie20s1;
    QAction* Wolno40s1;
    QAction* Najwolniej60s1;
    QAction* Koniec1;
    QMenu* PopupMenu2;
    QActionGroup* displayMode;
    QAction* c1;
    QAction* c2;
    QAction* UstawieniaRadudoVorozu1;
    TrayIcon* ico;

signals:
    // The window has closed and the program should end.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void buildUpdates();
    void buildMenus();
    void buildTrayIcon();
    // Runs one handler step by step; a reported error stops it and shows the error box.
    bool Guarded(const std::function<void()>& steps);
    // Files a parsed line in the now-playing list; false when there is none.
    bool fileNowPlayingLine(const std::optional<QByteArray>& line);
    // Sets check marks from the program, not from the user.
    void setCheckedQuietly(int row);

    // Writes lines to the debug log as if appended one by one, emptying it at 250 lines.
    void WriteLog(const QStringList& lines);
    void FlushLog();

    Okienko* dialog_ = nullptr;
    Form2* widget_ = nullptr;
    Form3* reminderWindow_ = nullptr;
    QByteArray reminderKeyword_;
    UpdateState state_;
    DownloadStatistics statistics_;
    ListingsParser parser_;
    // A tick's log lines are written in one go at its end (or before it waits for a download).
    QStringList pendingLog_;
    bool batchingLog_ = false;
    QString applicationTitle_ = QStringLiteral("ekranik");
    WindowDragger* dragger_;
    bool stationFilesLoaded_ = false;
    bool skipNextActivation_ = false;
    bool endingFromOutside_ = false;
    bool lostChanges_ = false;
    bool programChangesChecks_ = false;
};
