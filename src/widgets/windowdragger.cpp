#include "widgets/windowdragger.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

bool windowsPlaceThemselves()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

WindowDragger::WindowDragger(QWidget* window) : QObject(window), m_window(window)
{
    m_window->installEventFilter(this);
}

void WindowDragger::addHandle(QWidget* handle)
{
    m_handles.insert(handle);
}

bool WindowDragger::startsDrag(QPoint windowPos) const
{
    QWidget* hit = m_window->childAt(windowPos);
    return hit ? m_handles.contains(hit) : m_backgroundDrags;
}

// The filter sits on the window only. A label or panel that ignores a mouse event hands it on
// to the window, so presses on the handles arrive here too, in window coordinates.
bool WindowDragger::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_dragging || !startsDrag(mouse->position().toPoint()))
            return false;
        if (!windowsPlaceThemselves()) {
            QWindow* handle = m_window->windowHandle();
            return handle && mouse->button() == Qt::LeftButton && handle->startSystemMove();
        }
        m_dragging = true;
        m_grabOffset = mouse->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_dragging)
            return false;
        if (mouse->buttons() == Qt::NoButton) {
            m_dragging = false;
            return false;
        }
        QPoint target = mouse->globalPosition().toPoint() - m_grabOffset;
        if (adjust)
            target = adjust(target);
        m_window->move(target);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_dragging && mouse->buttons() == Qt::NoButton)
            m_dragging = false;
        return false;
    }
    default:
        return false;
    }
}
