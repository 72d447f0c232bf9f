#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>
#include <optional>

class QMenu;
class QWidget;

// ekranik's icon in the notification area, and everything the program does through it: the tip,
// a list of icons it can cycle through, balloon messages, the tray menu, and hiding the main
// window to the tray and bringing it back.
//
// Every property setter takes effect at once: the change is pushed to the underlying
// QSystemTrayIcon straight away. Everything runs on the GUI thread.
//
// Mouse input: Qt reports only activations of the icon, and that is all this class can pass on:
//   - left press (Trigger): OnMouseDown(Qt::LeftButton), the menu when LeftPopup is set, then
//     OnClick. With something connected to OnDblClick, OnClick waits one double-click interval
//     and is dropped when a double click arrives in that time.
//   - right press (Context): OnMouseDown(Qt::RightButton) and the menu, whatever LeftPopup says.
//   - double click: OnDblClick, then, without LeftPopup, the menu's default action.
//   - middle click: OnMouseDown(Qt::MiddleButton).
// The X11 tray icon reports the left and right button on the press, not the release.
//
// Not reported, because Qt gives no way to learn about them: button releases, mouse moves over
// the icon, the pointer entering or leaving the icon, the position and keyboard modifiers of a
// press (only QCursor::pos() afterwards is known), and a balloon being shown, hidden or timing
// out (Qt reports only a click on it).
//
// When the tray host quits, dies or is replaced while the icon is shown, Qt's X11 tray support
// docks the icon again as soon as a new host owns the tray; nothing here has to help it
// (tests/e2e/tray-host-restart.sh).
//
// Where a StatusNotifierItem host runs (KDE Plasma, GNOME with AppIndicator) when the program
// creates its first tray icon, Qt puts the icons on D-Bus instead, for the whole run, and the host
// shows the menu itself from what the program exports: there the PopupMenu is handed to
// QSystemTrayIcon as well, so that Qt exports it (com.canonical.dbusmenu). The host's Activate,
// ContextMenu and SecondaryActivate arrive as a left, right and middle press
// (tests/e2e/tray-sni.sh).
//
// Where there is no tray at all, nothing could bring a hidden main window back: HideMainWindow
// and minimise-to-tray leave it minimised instead, and a window hidden to a tray that goes away
// comes back minimised (tests/e2e/tray-none.sh).
class TrayIcon : public QObject {
    Q_OBJECT

public:
    enum class BalloonIcon { None, Info, Warning, Error };
    Q_ENUM(BalloonIcon)

    // How the desktop shows a balloon. Beside an XEmbed tray icon Qt draws a tip of its own,
    // which a message with neither title nor text closes. Where a StatusNotifierItem host runs
    // (KDE Plasma, GNOME with AppIndicator) every message becomes a desktop notification, and an
    // empty message would only be one more, empty, notification.
    enum class BalloonStyle { OwnTip, Notification };
    Q_ENUM(BalloonStyle)

    // A balloon message as it was handed to the tray icon, after the limits below.
    struct Balloon {
        QString title;
        QString text;
        BalloonIcon kind = BalloonIcon::None;
        int timeoutMs = 0;

        bool operator==(const Balloon&) const = default;
    };

    static constexpr int MaxHintLength = 127;
    static constexpr int MaxBalloonTitleLength = 63;
    static constexpr int MaxBalloonTextLength = 255;
    static constexpr int MaxBalloonTimeoutSeconds = 255;
    // How many of the messages handed to the tray icon are kept for postedMessages().
    static constexpr int PostedMessagesKept = 16;

    // mainWindow is the window hidden to and restored from the tray; it may be null, and is
    // not owned.
    explicit TrayIcon(QWidget* mainWindow, QObject* parent = nullptr);
    ~TrayIcon() override;

    QWidget* mainWindow() const;

    // The tip shown over the icon (at most MaxHintLength characters of it).
    QString Hint() const { return m_hint; }
    void setHint(const QString& hint);
    bool ShowHint() const { return m_showHint; }
    void setShowHint(bool show);

    QIcon Icon() const { return m_icon; }
    void setIcon(const QIcon& icon);

    // Shows or removes the icon. Returns whether there is a tray to take it; the property
    // keeps the new value either way, and the icon appears once a tray turns up.
    bool IconVisible() const { return m_iconVisible; }
    bool setIconVisible(bool visible);

    // With an IconList, the index picks the image that becomes Icon, held to the list's
    // range. Without one it is always 0.
    int IconIndex() const { return m_iconIndex; }
    void setIconIndex(int index);
    // An empty list means no list.
    QList<QIcon> IconList() const { return m_iconList; }
    void setIconList(const QList<QIcon>& icons);

    // Cycling steps through the IconList every CycleInterval milliseconds, starting from
    // image 0; an interval of 0 never steps.
    bool CycleIcons() const { return m_cycleIcons; }
    void setCycleIcons(bool cycle);
    int CycleInterval() const { return m_cycleInterval; }
    void setCycleInterval(int ms);

    // When false, mouse activations of the icon are ignored. Balloon clicks still arrive.
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    // The menu is not owned. It is opened by this class itself (see the mouse rules above);
    // it is the tray icon's context menu only where the icon lives on D-Bus, for the host to
    // show.
    QMenu* PopupMenu() const;
    void setPopupMenu(QMenu* menu);
    bool LeftPopup() const { return m_leftPopup; }
    void setLeftPopup(bool leftPopup);

    // When set, minimising the main window emits OnMinimizeToTray, hides the window and shows
    // the icon (once back in the event loop); without a tray the window stays minimised.
    bool MinimizeToTray() const { return m_minimizeToTray; }
    void setMinimizeToTray(bool minimizeToTray);

    // Removes any balloon, then hands the tray icon a new one: title and text cut to their
    // limits, timeout held to 0..MaxBalloonTimeoutSeconds. Nothing is shown while the icon is
    // not visible. Returns false when the icon is not visible or there is no tray able to show
    // messages. With a visible icon the balloon is handed over (and recorded in lastBalloon)
    // even when no tray is there to show it.
    bool ShowBalloonHint(const QString& title, const QString& text, BalloonIcon kind,
                         int timeoutSeconds);
    // Removes a balloon of ours that is still up, where the desktop lets a program do that.
    void HideBalloonHint();
    // The last balloon handed to the tray icon, and how many were handed over so far.
    const Balloon& lastBalloon() const { return m_lastBalloon; }
    int balloonsShown() const { return m_balloonsShown; }
    // The latest messages handed to the tray icon, the oldest first, the empty ones that close
    // a tip included.
    const QList<Balloon>& postedMessages() const { return m_posted; }

    // Learnt from the desktop when the icon is created, as Qt decides it then: Notification
    // where the icon lives on D-Bus. Tests set it to stand for a desktop they do not have.
    BalloonStyle balloonStyle() const
    {
        return m_balloonStyle.value_or(m_onDBus ? BalloonStyle::Notification
                                                : BalloonStyle::OwnTip);
    }
    void setBalloonStyle(BalloonStyle style) { m_balloonStyle = style; }

    // Whether the desktop has a tray to take the icon at this moment. Asks Qt
    // (QSystemTrayIcon::isSystemTrayAvailable; for an icon on D-Bus, the bus only, as Qt's
    // answer costs a call to the tray host) unless a test stands in for the desktop: there
    // is never a tray on the offscreen platform.
    bool trayAvailable() const;
    void setTrayCheck(std::function<bool()> check);

    // Pops the menu up at a global position and returns at once (the menu does not run its
    // own event loop). Nothing happens without a PopupMenu.
    void OpenPopupMenu(QPoint globalPos);
    void ShowMenuAtCursor();

    // Hides the main window to the tray; without a tray it is minimised instead, no longer a
    // tool window (Qt::Tool) until a tray takes it again, and the result is false.
    bool HideMainWindow();
    // Out of the minimised state, visible, on top and active.
    void RestoreMainWindow();

    // The icon as the window system sees it: what the setters pushed to it.
    const QSystemTrayIcon& systemTrayIcon() const { return *m_tray; }

public slots:
    // What the tray icon's activated() signal drives; callable directly to stand in for the
    // window system where there is no tray.
    void activate(QSystemTrayIcon::ActivationReason reason);

signals:
    void OnClick();
    void OnDblClick();
    void OnMouseDown(Qt::MouseButton button);
    void OnCycle(int NextIndex);
    void OnBalloonHintClick();
    void OnMinimizeToTray();
    // The main window was to go to the tray, and there was no tray (or it went away under the
    // hidden window). Emitted the first time only.
    void noTrayFound();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pushIconAndTip();
    void minimizedToTray();
    void cycleStep();
    void checkTrayStillThere();
    void reportNoTray();
    void minimiseWithoutTray();
    void balloonClicked();
    void post(const Balloon& message);
    bool doubleClickWanted() const;

    QSystemTrayIcon* m_tray;
    QPointer<QWidget> m_mainWindow;
    QPointer<QMenu> m_popupMenu;
    QTimer m_cycleTimer;
    QTimer m_clickTimer; // a left press waiting to see whether a double click follows
    QTimer m_trayWatch;  // runs while the main window is hidden to the tray
    std::function<bool()> m_trayCheck;
    bool m_onDBus = false;
    bool m_noTrayReported = false;
    bool m_minimisedWithoutTray = false;
    bool m_madeOrdinary = false; // a tool window given a taskbar entry for want of a tray

    QString m_hint;
    bool m_showHint = true;
    QIcon m_icon;
    bool m_iconVisible = false;
    int m_iconIndex = 0;
    QList<QIcon> m_iconList;
    bool m_cycleIcons = false;
    int m_cycleInterval = 0;
    bool m_enabled = true;
    bool m_leftPopup = false;
    bool m_minimizeToTray = false;

    std::optional<BalloonStyle> m_balloonStyle;
    QList<Balloon> m_posted;
    Balloon m_lastBalloon;
    int m_balloonsShown = 0;
    bool m_balloonUp = false; // handed over and neither hidden nor clicked since
};
