#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

// Presses a mouse button on `widget`, moves the pointer by `delta` in four steps and lets go,
// the way a user drags: the moves carry the pressed button.
inline void dragBy(QWidget* widget, Qt::MouseButton button, QPoint delta)
{
    const QPoint local(5, 5);
    const QPoint global = widget->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(local), QPointF(global), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    for (int step = 1; step <= 4; ++step) {
        const QPoint at = global + delta * step / 4;
        QMouseEvent move(QEvent::MouseMove, QPointF(widget->mapFromGlobal(at)), QPointF(at),
                         Qt::NoButton, button, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(widget->mapFromGlobal(global + delta)),
                        QPointF(global + delta), button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}
