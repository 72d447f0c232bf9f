#include "widgets/compositorwatch.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>

#ifdef EKRANIK_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#ifdef EKRANIK_HAVE_XCB_XFIXES
#include <xcb/xfixes.h>
#endif
#endif

#include <cstdlib>
#include <memory>

namespace {

#ifdef EKRANIK_HAVE_XCB
xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The screen part of the display name (":0.1" is screen 1); a compositing manager claims the
// selection of the screen it composes.
int displayScreen()
{
    const QByteArray display = qgetenv("DISPLAY");
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
    return dot < 0 ? 0 : std::atoi(display.constData() + dot + 1);
}

xcb_window_t screenRoot(xcb_connection_t* c, int number)
{
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem > 0; xcb_screen_next(&it), ++i) {
        if (i == number)
            return it.data->root;
    }
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}
#endif

} // namespace

CompositorWatch::CompositorWatch(QObject* parent) : QObject(parent)
{
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")) || platform == QLatin1String("windows") ||
        platform == QLatin1String("cocoa")) {
        m_active = true;
        return;
    }
#ifdef EKRANIK_HAVE_XCB
    xcb_connection_t* c = platform == QLatin1String("xcb") ? x11Connection() : nullptr;
    if (!c)
        return;
    m_x11 = true;
    const int screen = displayScreen();
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    using AtomReply = std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)>;
    const AtomReply atom(
        xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr),
        &std::free);
    if (!atom)
        return;
    m_selection = atom->atom;

#ifdef EKRANIK_HAVE_XCB_XFIXES
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (xfixes && xfixes->present) {
        // Every client says which X Fixes version it speaks before using it; Qt has, on this
        // same connection, but asking again is harmless.
        std::free(xcb_xfixes_query_version_reply(
            c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
            nullptr));
        xcb_xfixes_select_selection_input(
            c, screenRoot(c, screen), m_selection,
            XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(c);
        m_selectionEvent = xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY;
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
#endif
    if (m_selectionEvent < 0) {
        connect(&m_poll, &QTimer::timeout, this, &CompositorWatch::recheck);
        m_poll.start(2000);
    }
    recheck();
#endif
}

CompositorWatch::~CompositorWatch()
{
    if (m_selectionEvent >= 0 && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool CompositorWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
#ifdef EKRANIK_HAVE_XCB
    if (m_selectionEvent >= 0 && eventType == "xcb_generic_event_t") {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        // Qt listens for the same events itself: they are looked at, never taken.
        if ((event->response_type & 0x7f) == m_selectionEvent)
            recheck();
    }
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}

void CompositorWatch::recheck()
{
#ifdef EKRANIK_HAVE_XCB
    xcb_connection_t* c = m_x11 ? x11Connection() : nullptr;
    if (!c)
        return;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_selection), nullptr);
    const bool active = reply && reply->owner != XCB_NONE;
    std::free(reply);
    if (active == m_active)
        return;
    m_active = active;
    emit activeChanged(active);
#endif
}
