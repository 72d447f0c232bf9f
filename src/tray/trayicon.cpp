#include "tray/trayicon.h"

#include "tray/withdrawalwatch.h"

#include <QAction>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMetaMethod>
#include <QStyleHints>
#include <QWidget>
#include <QWindow>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <utility>

namespace {

QSystemTrayIcon::MessageIcon messageIcon(TrayIcon::BalloonIcon kind)
{
    switch (kind) {
    case TrayIcon::BalloonIcon::None:
        return QSystemTrayIcon::NoIcon;
    case TrayIcon::BalloonIcon::Info:
        return QSystemTrayIcon::Information;
    case TrayIcon::BalloonIcon::Warning:
        return QSystemTrayIcon::Warning;
    case TrayIcon::BalloonIcon::Error:
        return QSystemTrayIcon::Critical;
    }
    return QSystemTrayIcon::NoIcon;
}

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// Qt's own test, made once when the first tray icon is created: with a StatusNotifierItem
// host registered on the session bus, the platforms of a Unix desktop hand the icon and its
// messages to D-Bus. The offscreen platform has no tray of either kind.
bool iconGoesToDBus()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland")))
        return false;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kWatcher))
        return false;
    const QDBusInterface hosts(kWatcher, QStringLiteral("/StatusNotifierWatcher"), kWatcher, bus);
    return hosts.property("IsStatusNotifierHostRegistered").toBool();
#else
    return false;
#endif
}

// Whether the desktop has a tray now, as Qt decides it. For an icon on D-Bus, Qt decides by
// whether the StatusNotifierItem watcher is on the session bus, but asking Qt
// (QSystemTrayIcon::isSystemTrayAvailable) has it call the tray host and wait, on a new
// connection each time; a host waiting on this program at that moment stalls both until D-Bus
// gives up, 25 s later. Here only the bus is asked, which never waits on the host.
bool systemTrayThere(bool onDBus)
{
    if (!onDBus)
        return QSystemTrayIcon::isSystemTrayAvailable();
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(kWatcher);
}

// Often enough to bring a window back soon after its tray went away; only while it is hidden.
constexpr int kTrayWatchMs = 1000;

} // namespace

TrayIcon::TrayIcon(QWidget* mainWindow, QObject* parent)
    : QObject(parent), m_tray(new QSystemTrayIcon(this)), m_mainWindow(mainWindow),
      m_onDBus(iconGoesToDBus())
{
#if defined(Q_OS_MACOS)
    m_balloonStyle = BalloonStyle::Notification;
#endif
    m_cycleTimer.setSingleShot(false);
    connect(&m_cycleTimer, &QTimer::timeout, this, &TrayIcon::cycleStep);
    m_clickTimer.setSingleShot(true);
    connect(&m_clickTimer, &QTimer::timeout, this, &TrayIcon::OnClick);
    m_trayWatch.setInterval(kTrayWatchMs);
    connect(&m_trayWatch, &QTimer::timeout, this, &TrayIcon::checkTrayStillThere);

    connect(m_tray, &QSystemTrayIcon::activated, this, &TrayIcon::activate);
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &TrayIcon::balloonClicked);

    if (m_mainWindow)
        m_mainWindow->installEventFilter(this);
}

TrayIcon::~TrayIcon()
{
    if (m_mainWindow)
        m_mainWindow->removeEventFilter(this);
}

QWidget* TrayIcon::mainWindow() const
{
    return m_mainWindow;
}

void TrayIcon::setHint(const QString& hint)
{
    m_hint = hint;
    pushIconAndTip();
}

void TrayIcon::setShowHint(bool show)
{
    m_showHint = show;
    pushIconAndTip();
}

void TrayIcon::setIcon(const QIcon& icon)
{
    m_icon = icon;
    pushIconAndTip();
}

bool TrayIcon::setIconVisible(bool visible)
{
    m_iconVisible = visible;
    if (visible) {
        pushIconAndTip();
        m_tray->show();
    } else {
        m_tray->hide();
    }
    return systemTrayThere(m_onDBus);
}

void TrayIcon::setIconIndex(int index)
{
    if (m_iconList.isEmpty()) {
        m_iconIndex = 0;
    } else {
        m_iconIndex = std::clamp(index, 0, int(m_iconList.size()) - 1);
        m_icon = m_iconList.at(m_iconIndex);
    }
    pushIconAndTip();
}

void TrayIcon::setIconList(const QList<QIcon>& icons)
{
    m_iconList = icons;
    setIconIndex(0);
}

void TrayIcon::setCycleIcons(bool cycle)
{
    m_cycleIcons = cycle;
    m_cycleTimer.stop();
    if (cycle) {
        setIconIndex(0);
        // A zero-interval QTimer would fire on every pass of the event loop; here 0 means off.
        if (m_cycleInterval > 0)
            m_cycleTimer.start(m_cycleInterval);
    }
}

void TrayIcon::setCycleInterval(int ms)
{
    ms = std::max(ms, 0);
    if (ms == m_cycleInterval)
        return;
    m_cycleInterval = ms;
    setCycleIcons(m_cycleIcons);
}

void TrayIcon::setEnabled(bool enabled)
{
    m_enabled = enabled;
}

QMenu* TrayIcon::PopupMenu() const
{
    return m_popupMenu;
}

void TrayIcon::setPopupMenu(QMenu* menu)
{
    m_popupMenu = menu;
    // A StatusNotifierItem host opens the menu itself, from what Qt exports of it; the X11
    // tray icon would open a context menu on its own as well, a second time over ours.
    if (m_onDBus)
        m_tray->setContextMenu(menu);
}

void TrayIcon::setLeftPopup(bool leftPopup)
{
    m_leftPopup = leftPopup;
}

void TrayIcon::setMinimizeToTray(bool minimizeToTray)
{
    m_minimizeToTray = minimizeToTray;
}

bool TrayIcon::ShowBalloonHint(const QString& title, const QString& text, BalloonIcon kind,
                               int timeoutSeconds)
{
    HideBalloonHint();
    if (!m_iconVisible)
        return false;

    m_lastBalloon = Balloon{
        title.left(MaxBalloonTitleLength),
        text.left(MaxBalloonTextLength),
        kind,
        std::clamp(timeoutSeconds, 0, MaxBalloonTimeoutSeconds) * 1000,
    };
    post(m_lastBalloon);
    ++m_balloonsShown;
    m_balloonUp = true;
    return systemTrayThere(m_onDBus) && QSystemTrayIcon::supportsMessages();
}

void TrayIcon::HideBalloonHint()
{
    if (!m_balloonUp)
        return;
    m_balloonUp = false;
    // A message with neither title nor text closes the tip Qt draws itself for the X11 tray
    // (tests/e2e/tray-click-menu-balloon.sh checks it under icewm). A notification cannot be
    // taken back this way: it goes when it times out, or when the next one replaces it.
    if (balloonStyle() == BalloonStyle::OwnTip)
        post(Balloon{});
}

void TrayIcon::post(const Balloon& message)
{
    m_tray->showMessage(message.title, message.text, messageIcon(message.kind), message.timeoutMs);
    if (m_posted.size() == PostedMessagesKept)
        m_posted.removeFirst();
    m_posted.append(message);
}

void TrayIcon::OpenPopupMenu(QPoint globalPos)
{
    if (!m_popupMenu)
        return;
    // popup() returns at once; the menu closes itself on a choice or a click elsewhere.
    m_popupMenu->popup(globalPos);
}

void TrayIcon::ShowMenuAtCursor()
{
    OpenPopupMenu(QCursor::pos());
}

bool TrayIcon::trayAvailable() const
{
    return m_trayCheck ? m_trayCheck() : systemTrayThere(m_onDBus);
}

void TrayIcon::setTrayCheck(std::function<bool()> check)
{
    m_trayCheck = std::move(check);
}

bool TrayIcon::HideMainWindow()
{
    if (!m_mainWindow)
        return false;
    if (!trayAvailable()) {
        minimiseWithoutTray();
        return false;
    }
    m_mainWindow->hide();
    if (std::exchange(m_minimisedWithoutTray, false)) {
        // Off the taskbar again, now that the tray holds the way back.
        if (std::exchange(m_madeOrdinary, false))
            m_mainWindow->setWindowFlag(Qt::Tool, true);
        // Qt's X11 window keeps asking to start minimised (WM_HINTS) after the window manager
        // brought back a window that Qt minimised, and the next show would bring it up
        // minimised. Any other state, set while the window is unmapped, asks for a normal start.
        if (QWindow* handle = m_mainWindow->windowHandle()) {
            handle->setWindowStates(Qt::WindowMaximized);
            handle->setWindowStates(Qt::WindowNoState);
        }
    }
    m_trayWatch.start();
    return true;
}

// Minimised where the user can find it again. Window managers keep a tool window off the
// taskbar, the task switcher and the overview (Mutter whatever its states say), so until a tray
// takes the window again it is an ordinary one.
void TrayIcon::minimiseWithoutTray()
{
    reportNoTray();
    m_minimisedWithoutTray = true;
    if (!m_mainWindow->windowFlags().testFlag(Qt::Tool)) {
        m_mainWindow->showMinimized();
        return;
    }
    m_madeOrdinary = true;
    // The new flags unmap a shown window, and the window manager must let go of it before it is
    // mapped again, minimised; unless a tray took it or it was shown in the meantime.
    WithdrawalWatch::unmapThen(
        m_mainWindow, [this] { m_mainWindow->setWindowFlag(Qt::Tool, false); },
        [self = QPointer<TrayIcon>(this)] {
            if (self && self->m_mainWindow && self->m_minimisedWithoutTray &&
                !self->m_mainWindow->isVisible())
                self->m_mainWindow->showMinimized();
        });
}

// The tray went away under a hidden main window (its host quit or died): the window comes back
// minimised, where the user can still reach it.
void TrayIcon::checkTrayStillThere()
{
    if (!m_mainWindow || m_mainWindow->isVisible()) {
        m_trayWatch.stop();
        return;
    }
    if (trayAvailable())
        return;
    m_trayWatch.stop();
    minimiseWithoutTray();
}

void TrayIcon::reportNoTray()
{
    if (!std::exchange(m_noTrayReported, true))
        emit noTrayFound();
}

void TrayIcon::RestoreMainWindow()
{
    if (!m_mainWindow)
        return;
    if (m_mainWindow->isMinimized())
        m_mainWindow->showNormal();
    // Hidden is unmapped, though Qt may go on taking the window for mapped after the window
    // manager brought back a window that Qt minimised: the skip-taskbar states of the show
    // (keepOffTaskbar) would then go to the window manager, who ignores them for an unmapped
    // window, instead of into the window's properties.
    if (!m_mainWindow->isVisible())
        m_mainWindow->setAttribute(Qt::WA_Mapped, false);
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void TrayIcon::activate(QSystemTrayIcon::ActivationReason reason)
{
    if (!m_enabled)
        return;

    switch (reason) {
    case QSystemTrayIcon::Context:
        emit OnMouseDown(Qt::RightButton);
        ShowMenuAtCursor();
        break;
    case QSystemTrayIcon::Trigger:
        emit OnMouseDown(Qt::LeftButton);
        if (m_leftPopup)
            ShowMenuAtCursor();
        if (doubleClickWanted())
            m_clickTimer.start(QGuiApplication::styleHints()->mouseDoubleClickInterval());
        else
            emit OnClick();
        break;
    case QSystemTrayIcon::DoubleClick:
        // The press that began this double click is not a click of its own.
        m_clickTimer.stop();
        emit OnDblClick();
        if (m_popupMenu && !m_leftPopup) {
            if (QAction* action = m_popupMenu->defaultAction())
                action->trigger();
        }
        break;
    case QSystemTrayIcon::MiddleClick:
        emit OnMouseDown(Qt::MiddleButton);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_mainWindow && event->type() == QEvent::WindowStateChange && m_minimizeToTray) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool wasMinimized = change->oldState().testFlag(Qt::WindowMinimized);
        // Not hidden right here: QWidget::showMinimized() makes the window visible again after
        // this event, so the hiding waits for the event loop.
        if (!wasMinimized && m_mainWindow->isMinimized())
            QMetaObject::invokeMethod(this, &TrayIcon::minimizedToTray, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void TrayIcon::minimizedToTray()
{
    if (!m_mainWindow || !m_minimizeToTray || !m_mainWindow->isMinimized())
        return;
    if (!trayAvailable()) {
        reportNoTray();
        return;
    }
    emit OnMinimizeToTray();
    HideMainWindow();
    setIconVisible(true);
}

void TrayIcon::pushIconAndTip()
{
    m_tray->setIcon(m_icon);
    const bool tip = m_showHint && !m_hint.isEmpty();
    m_tray->setToolTip(tip ? m_hint.left(MaxHintLength) : QString());
}

void TrayIcon::cycleStep()
{
    if (m_iconList.isEmpty())
        return;
    // During OnCycle, Icon is the image at IconIndex; afterwards the one at NextIndex.
    m_icon = m_iconList.at(m_iconIndex);
    const int next = m_iconIndex + 1 < m_iconList.size() ? m_iconIndex + 1 : 0;
    emit OnCycle(next);
    setIconIndex(next);
}

void TrayIcon::balloonClicked()
{
    m_balloonUp = false;
    emit OnBalloonHintClick();
}

bool TrayIcon::doubleClickWanted() const
{
    return isSignalConnected(QMetaMethod::fromSignal(&TrayIcon::OnDblClick));
}
