#include "tray/withdrawalwatch.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#ifdef EKRANIK_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

#include <utility>

namespace {

#ifdef EKRANIK_HAVE_XCB
constexpr uint32_t kWithdrawnState = 0; // ICCCM's WithdrawnState

xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// Whether a window manager holds the window: its WM_STATE is there, and not Withdrawn.
bool heldByWindowManager(xcb_connection_t* c, xcb_window_t window, xcb_atom_t wmState)
{
    const auto cookie = xcb_get_property(c, 0, window, wmState, wmState, 0, 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    const bool held =
        reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4 &&
        *static_cast<const uint32_t*>(xcb_get_property_value(reply)) != kWithdrawnState;
    std::free(reply);
    return held;
}
#endif

} // namespace

void WithdrawalWatch::unmapThen(QWidget* window, const std::function<void()>& unmap,
                                std::function<void()> then)
{
#ifdef EKRANIK_HAVE_XCB
    if (xcb_connection_t* c = x11Connection(); c && window->internalWinId()) {
        const auto id = static_cast<xcb_window_t>(window->internalWinId());
        const xcb_atom_t wmState = internAtom(c, "WM_STATE");
        if (wmState != XCB_ATOM_NONE && heldByWindowManager(c, id, wmState)) {
            // Watching before the unmap: the manager may answer at once.
            new WithdrawalWatch(window, id, wmState, std::move(then));
            unmap();
            return;
        }
    }
#endif
    unmap();
    then();
}

WithdrawalWatch::WithdrawalWatch(QWidget* window, quint32 windowId, quint32 wmState,
                                 std::function<void()> then)
    : QObject(window), m_windowId(windowId), m_wmState(wmState), m_then(std::move(then))
{
    QCoreApplication::instance()->installNativeEventFilter(this);
    QTimer::singleShot(MaxWaitMs, this, &WithdrawalWatch::finish);
}

bool WithdrawalWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#ifdef EKRANIK_HAVE_XCB
    if (m_finished || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
    if (change->window != m_windowId || change->atom != m_wmState)
        return false;
    xcb_connection_t* c = x11Connection();
    if (change->state == XCB_PROPERTY_DELETE || !c ||
        !heldByWindowManager(c, m_windowId, m_wmState))
        QTimer::singleShot(0, this, &WithdrawalWatch::finish); // out of Qt's event handling
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}

void WithdrawalWatch::finish()
{
    if (std::exchange(m_finished, true))
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    deleteLater();
    const std::function<void()> then = std::move(m_then);
    then();
}
