#include "widgets/windowdragger.h"

#include <QMouseEvent>
#include <QWidget>

WindowDragger::WindowDragger(QWidget* window) : QObject(window), window_(window)
{
    window_->installEventFilter(this);
}

void WindowDragger::addHandle(QWidget* handle)
{
    handles_.insert(handle);
}

bool WindowDragger::startsDrag(QPoint windowPos) const
{
    QWidget* hit = window_->childAt(windowPos);
    return hit ? handles_.contains(hit) : backgroundDrags_;
}

// The filter sits on the window only. A label or panel that ignores a mouse event hands it on
// to the window, so presses on the handles arrive here too, in window coordinates.
bool WindowDragger::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (dragging_ || !startsDrag(mouse->position().toPoint()))
            return false;
        dragging_ = true;
        grabOffset_ = mouse->globalPosition().toPoint() - window_->frameGeometry().topLeft();
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!dragging_)
            return false;
        if (mouse->buttons() == Qt::NoButton) {
            dragging_ = false;
            return false;
        }
        QPoint target = mouse->globalPosition().toPoint() - grabOffset_;
        if (adjust)
            target = adjust(target);
        window_->move(target);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (dragging_ && mouse->buttons() == Qt::NoButton)
            dragging_ = false;
        return false;
    }
    default:
        return false;
    }
}
