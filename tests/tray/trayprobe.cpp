// A bare program holding one TrayIcon, for the end-to-end tests. It shows the icon, prints each
// signal of the icon as one line on standard output, and obeys one command per line on standard
// input:
//   balloon TITLE   a balloon with that title (and the text "ekranik"), 60 s
//   unballoon       removes the balloon
//   hide / show     IconVisible false / true
//   window          shows the main window ("ekranik probe")
//   quit
// It also prints "active" and "inactive" as the program gains and loses the focus.
// Started as `ekranik_trayprobe --tray-available` it only answers whether the desktop has a tray
// now (exit status 0) or not (1), as Qt sees it.
// The main window goes to the tray when minimised; a click on the icon brings it back, and so
// does the tray menu's default action "Przywróć" (run by a double click, or chosen in the menu).
#include "support/stdinlines.h"
#include "tray/trayicon.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QWidget>
#include <cstdio>

namespace {

void say(const char* line, int value = -1)
{
    if (value < 0)
        std::printf("%s\n", line);
    else
        std::printf("%s %d\n", line, value);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (QApplication::arguments().contains(QLatin1String("--tray-available")))
        return QSystemTrayIcon::isSystemTrayAvailable() ? 0 : 1;
    QApplication::setQuitOnLastWindowClosed(false);

    QWidget window;
    window.setWindowTitle(QStringLiteral("ekranik probe"));
    window.resize(240, 120);

    TrayIcon tray(&window);
    QMenu menu;
    QAction* restore = menu.addAction(QStringLiteral("Przywróć"));
    menu.setDefaultAction(restore);
    menu.addAction(QStringLiteral("Koniec"), &app, &QApplication::quit);
    tray.setPopupMenu(&menu);
    tray.setMinimizeToTray(true);

    QObject::connect(restore, &QAction::triggered, &tray, [&] {
        say("restore");
        tray.RestoreMainWindow();
    });
    QObject::connect(&tray, &TrayIcon::OnClick, &tray, [&] {
        say("OnClick");
        tray.RestoreMainWindow();
    });
    QObject::connect(&tray, &TrayIcon::OnDblClick, &tray, [] { say("OnDblClick"); });
    QObject::connect(&tray, &TrayIcon::OnMouseDown, &tray,
                     [](Qt::MouseButton button) { say("OnMouseDown", int(button)); });
    QObject::connect(&tray, &TrayIcon::OnBalloonHintClick, &tray,
                     [] { say("OnBalloonHintClick"); });
    QObject::connect(&tray, &TrayIcon::OnMinimizeToTray, &tray, [] { say("OnMinimizeToTray"); });
    // Qt closes every popup when the program loses the focus: the tests wait for that before
    // they open the menu.
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &tray,
                     [](Qt::ApplicationState state) {
                         say(state == Qt::ApplicationActive ? "active" : "inactive");
                     });

    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkGreen);
    tray.setIcon(QIcon(pixmap));
    tray.setHint(QStringLiteral("ekranik probe"));
    tray.setIconVisible(true);

    takeCommandsFromStdin(&app, [&](const QString& line) {
        if (line.startsWith(QLatin1String("balloon ")))
            tray.ShowBalloonHint(line.mid(8), QStringLiteral("ekranik"),
                                 TrayIcon::BalloonIcon::Info, 60);
        else if (line == QLatin1String("unballoon"))
            tray.HideBalloonHint();
        else if (line == QLatin1String("hide"))
            tray.setIconVisible(false);
        else if (line == QLatin1String("show"))
            tray.setIconVisible(true);
        else if (line == QLatin1String("window"))
            window.show();
        else if (line == QLatin1String("quit"))
            QApplication::quit();
    });
    return app.exec();
}
