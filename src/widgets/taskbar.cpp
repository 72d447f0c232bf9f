#include "widgets/taskbar.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef EKRANIK_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

void setSkipStates(QWidget* window)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t* c = x11->connection();
    const auto win = static_cast<xcb_window_t>(window->winId());
    const xcb_atom_t state = internAtom(c, "_NET_WM_STATE");
    const xcb_atom_t wanted[] = {internAtom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                                 internAtom(c, "_NET_WM_STATE_SKIP_PAGER")};

    if (window->testAttribute(Qt::WA_Mapped)) {
        // A mapped window asks the window manager.
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = win;
        event.type = state;
        event.data.data32[0] = 1; // _NET_WM_STATE_ADD
        event.data.data32[1] = wanted[0];
        event.data.data32[2] = wanted[1];
        event.data.data32[3] = 1; // from a normal application
        xcb_send_event(c, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    } else {
        // An unmapped window carries the states in its property; Qt merges its own into
        // what it finds there when it maps the window.
        std::vector<xcb_atom_t> atoms;
        const auto cookie = xcb_get_property(c, 0, win, state, XCB_ATOM_ATOM, 0, 64);
        if (xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr)) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            atoms.assign(data, data + xcb_get_property_value_length(reply) / sizeof(xcb_atom_t));
            std::free(reply);
        }
        for (xcb_atom_t a : wanted) {
            if (std::find(atoms.begin(), atoms.end(), a) == atoms.end())
                atoms.push_back(a);
        }
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, state, XCB_ATOM_ATOM, 32,
                            static_cast<uint32_t>(atoms.size()), atoms.data());
    }
    xcb_flush(c);
}

} // namespace
#endif

void keepOffTaskbar(QWidget* window)
{
#ifdef EKRANIK_HAVE_XCB
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        setSkipStates(window);
#endif
}
