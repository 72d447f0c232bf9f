// The yardstick for the program's share of a core: a bare Qt Widgets program with a tray icon
// and nothing to do (bench/core-share.sh measures both the same way).

#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QPixmap picture(16, 16);
    picture.fill(Qt::darkGreen);
    QSystemTrayIcon icon{QIcon(picture)};
    icon.show();
    return app.exec();
}
