#include "app/platformchoice.h"

namespace {

// The platform named on the command line, read as QGuiApplication reads it: "-platform NAME",
// also with two dashes.
QByteArray platformArgument(const QByteArrayList& arguments)
{
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "-platform" || arguments[i] == "--platform")
            return arguments[i + 1];
    }
    return {};
}

bool isWayland(const QByteArray& platform)
{
    return platform.startsWith("wayland");
}

} // namespace

SessionEnvironment SessionEnvironment::current()
{
    return {
        .qpaPlatform = qgetenv("QT_QPA_PLATFORM"),
        .waylandDisplay = qgetenv("WAYLAND_DISPLAY"),
        .sessionType = qgetenv("XDG_SESSION_TYPE"),
        .display = qgetenv("DISPLAY"),
    };
}

PlatformChoice choosePlatform(const SessionEnvironment& session, const QByteArrayList& arguments)
{
    const QString nativeNote =
        QStringLiteral(".mrowka: Okna na Waylandzie: RadudoVorozu nie ustawia sie sam ani nie "
                       "przylega do krawedzi ekranu, stoi tam, gdzie postawi go kompozytor");

    // Qt takes the command line over QT_QPA_PLATFORM, and an empty variable as none.
    QByteArray chosen = platformArgument(arguments);
    if (chosen.isEmpty())
        chosen = session.qpaPlatform;
    if (!chosen.isEmpty())
        return {{}, isWayland(chosen) ? nativeNote : QString()};

    const bool waylandSession =
        !session.waylandDisplay.isEmpty() || session.sessionType == "wayland";
    if (!waylandSession)
        return {};
    if (!session.display.isEmpty())
        return {"xcb", {}};
    return {"wayland", nativeNote};
}
