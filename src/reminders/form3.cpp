#include "reminders/form3.h"

#include "widgets/look.h"
#include "widgets/roundedframe.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

Form3::Form3(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("ekranik - Przypomnienie"));
    setFixedSize(kWidth, kHeight);
    setMask(RoundedWindowShape(size()));
    setFont(LayoutFont(QStringLiteral("Segoe UI"), 11));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void Form3::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintRoundedFrame(painter, size());
}
