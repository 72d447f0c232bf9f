#pragma once

#include <QByteArray>
#include <QList>
#include <QWidget>
#include <functional>

class ClickLabel;
class GlowButton;
class HttpFetch;
class Okienko;
class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSystemTrayIcon;
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

    // --- handlers ---------------------------------------------------------------------------
    void FormActivate();
    bool FormCloseQuery(); // true: the window may close
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
    // The download component's reports.
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

    // Appends one line to the debug log.
    void Log(const QString& line);
    // The debug access word: the window grows to show the debug area.
    void ShowDebugArea();

    // The program's title, the caption of its error boxes.
    QString applicationTitle() const { return applicationTitle_; }
    bool hotStart() const { return hotStart_; }
    bool activated() const { return activated_; }

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
    QFrame* acset;
    QLabel* Label2;
    GlowButton* GlowButton1;
    GlowButton* GlowButton2;
    GlowButton* GlowButton3;
    GlowButton* mhm;
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
    QSystemTrayIcon* ico;

signals:
    // The window has closed and the program should end.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void buildDownloader();
    void buildMenus();
    void buildTrayIcon();
    // Runs one handler step by step; a reported error stops it and shows the error box.
    bool Guarded(const std::function<void()>& steps);
    // Sets check marks from the program, not from the user.
    void setCheckedQuietly(int row);

    Okienko* dialog_ = nullptr;
    QString applicationTitle_ = QStringLiteral("ekranik");
    WindowDragger* dragger_;
    bool hotStart_ = false;
    bool activated_ = false;
    bool firstShowDone_ = false;
    bool programChangesChecks_ = false;
};
