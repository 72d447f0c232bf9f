#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// What the session offers the program's windows, as its environment says.
struct SessionEnvironment {
    QByteArray qpaPlatform;    // QT_QPA_PLATFORM: the user's own choice
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray sessionType;    // XDG_SESSION_TYPE
    QByteArray display;        // DISPLAY: an X server, in a Wayland session XWayland

    static SessionEnvironment current();
};

struct PlatformChoice {
    // The Qt platform the program asks for; empty leaves Qt's own choice (or the user's).
    QByteArray platform;
    // One line for the log when the windows will not be what they are on X11, else empty.
    QString note;
};

// The desktop widget places itself, snaps to the screen's edges and keeps off the taskbar:
// none of that is allowed to a Wayland client. In a Wayland session with XWayland the program
// therefore runs on X11 (Qt's xcb); without XWayland natively, with a note that the widget
// stays where the compositor puts it. A platform the user chose (QT_QPA_PLATFORM, -platform)
// always stands, with the same note when it is Wayland. `arguments` is the command line
// without the program's name.
PlatformChoice choosePlatform(const SessionEnvironment& session, const QByteArrayList& arguments);
