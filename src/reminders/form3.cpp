#include "reminders/form3.h"

#include "widgets/look.h"
#include "widgets/roundedframe.h"

#include <QPainter>

Form3::Form3(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("ekranik - Przypomnienie"));
    setFixedSize(kWidth, kHeight);
    setMask(RoundedWindowShape(size()));
    setFont(LayoutFont(QStringLiteral("Segoe UI"), 11));
    SetBackground(this, Qt::white);
    CentreOnDesktop(this);
}

void Form3::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    PaintRoundedFrame(painter, size());
}
