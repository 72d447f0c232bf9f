#pragma once

#include <QObject>
#include <QPoint>
#include <QSet>
#include <functional>

class QWidget;

// Whether a window can place itself and learn where it stands. Not on Wayland, where the
// compositor places every window, ignores move() and reports every window at (0, 0).
bool windowsPlaceThemselves();

// Moves a borderless window with the mouse, as if its caption were dragged. A press of any
// button on the window's own background, or on one of the registered handles, starts the move;
// the window then follows the pointer until the last button is released. Presses on any other
// child are left alone.
//
// The move is done here rather than handed to the window manager: a window manager's move
// follows the left button only, and some hosts have no window manager at all. On Wayland, where
// a window cannot move itself, the compositor is asked to move it (left button only, no
// snapping).
class WindowDragger : public QObject {
    Q_OBJECT
public:
    explicit WindowDragger(QWidget* window);

    // A child of the window that drags it like the background does.
    void addHandle(QWidget* handle);
    // Whether a press on the window's own background drags it (it does unless switched off).
    void setBackgroundDrags(bool drags) { m_backgroundDrags = drags; }

    // Called with the window's top-left corner the move wants; returns where it goes. The
    // desktop widget snaps to the screen's edges here.
    std::function<QPoint(QPoint)> adjust;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool startsDrag(QPoint windowPos) const;

    QWidget* m_window;
    QSet<QWidget*> m_handles;
    bool m_backgroundDrags = true;
    bool m_dragging = false;
    QPoint m_grabOffset;
};
