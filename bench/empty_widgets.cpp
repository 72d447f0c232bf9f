// The yardstick for the program's memory: an empty Qt Widgets program with one shown window,
// run the same way as the program (bench/ten-minute-run.sh measures both).

#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(350, 239);
    window.show();
    return app.exec();
}
