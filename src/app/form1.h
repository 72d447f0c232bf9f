#pragma once

#include <QByteArray>
#include <QList>
#include <QWidget>
#include <functional>
#include <memory>

class ClickLabel;
class Form2;
class Form3;
class GlowButton;
class Okienko;
class QAction;
class QLabel;
class ReminderSearch;
class SegmentBar;
class SettingsFile;
class SettingsPanel;
class StationListBox;
class TrayIcon;
class TrayMenu;
class UpdateEngine;

// The main window: the station list and its buttons, the tray menu, and below the visible area
// the debug area with the log and the now-playing list. It lays out its controls and wires the
// program's parts to them: the update engine, the publication, the reminder search. Controls
// keep their layout names, as their object names too.
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

    // Writes one station file: the path and its lines.
    using StationFileWriter = std::function<void(const QString&, const QList<QByteArray>&)>;

    explicit Form1(StationFileWriter writeStationFile = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // The input dialog the station buttons open.
    void setDialog(Okienko* dialog);
    // The desktop widget the updates are published to.
    void setWidget(Form2* widget);
    // The window a reminder pops up in.
    void setReminderWindow(Form3* window);
    // Remembers the settings in the file at `path` (ekranik.conf), once the widget and the
    // reminder window are set: what it holds is applied now, each change is written as it
    // happens, and all of them again at close.
    void keepSettingsIn(const QString& path);

    // --- handlers ---------------------------------------------------------------------------
    void FormActivate();
    bool FormCloseQuery(); // true: the window may close
    void close1Click();
    void Ustawienia1Click();
    void Label5Click();
    void addClick();
    void delClick();
    void programyClickCheck();
    void programyDblClick();
    void mhmClick();
    void LoadCheckedStates();
    void SaveCheckedStates();

    // Asked to end from outside (SIGTERM, SIGINT): saves as "Koniec" does, but nobody waits for
    // an error box there, so a failed save is logged and the program ends anyway.
    void endFromOutside();
    // The session is ending: the files are saved the same way, without an error box.
    void saveForSessionEnd();
    // A save on the way out failed: the program ends with a status that says so.
    bool lostChanges() const { return m_lostChanges; }

    void loadStationList();
    void saveStationList();
    // The debug access word: the window grows to show the debug area.
    void showDebugArea();

    // The program's title, the caption of its error boxes.
    QString applicationTitle() const { return m_applicationTitle; }
    UpdateEngine* engine() const { return m_engine; }
    ReminderSearch* reminderSearch() const { return m_reminderSearch; }

signals:
    // The window has closed and the program should end.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildLayout();
    void buildMenus();
    void restoreSettings();
    // The desktop has no tray: said once, in the log and in the debug area.
    void reportNoTray();
    void saveSettings();
    // Runs one handler step by step; a reported error stops it and shows the error box.
    bool guarded(const std::function<void()>& steps);

    // Controls, by their layout names.
    QLabel* Label4;
    QLabel* ver;
    ClickLabel* Label5;
    StationListBox* programy;
    SettingsPanel* acset;
    GlowButton* GlowButton3;
    GlowButton* mhm;
    SegmentBar* pb;
    QAction* c1;
    QAction* c2;
    TrayMenu* PopupMenu1;
    TrayIcon* ico;

    UpdateEngine* m_engine;
    ReminderSearch* m_reminderSearch = nullptr;
    Okienko* m_dialog = nullptr;
    Form2* m_widget = nullptr;
    std::unique_ptr<SettingsFile> m_settings;
    StationFileWriter m_writeStationFile;
    QString m_applicationTitle = QStringLiteral("ekranik");
    bool m_stationFilesLoaded = false;
    bool m_skipNextActivation = false;
    bool m_endingFromOutside = false;
    bool m_lostChanges = false;
};
