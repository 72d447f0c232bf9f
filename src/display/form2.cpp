#include "display/form2.h"

#include "widgets/look.h"

#include <QGuiApplication>
#include <QScreen>

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("RadudoVorozu"));
    setFixedSize(kWidth, kHeight);
    SetBackground(this, Qt::black);
    // Its top edge sits 100 pixels above the bottom of the screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    move(kLeft, screen ? screen->geometry().height() - 100 : 0);
}
