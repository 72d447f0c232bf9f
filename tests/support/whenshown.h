#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs `then` from the event loop once `window` is next shown: for a modal dialog, inside its
// own loop, whether a click opens it at once or a double click from the event loop later.
// Deleting what it returns before the show calls the wait off.
inline QObject* whenShown(QWidget* window, std::function<void()> then)
{
    struct Watch : QObject {
        QWidget* window;
        std::function<void()> then;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Show) {
                window->removeEventFilter(this);
                QTimer::singleShot(0, window, std::move(then));
                deleteLater();
            }
            return false;
        }
    };
    auto* watch = new Watch;
    watch->setParent(window);
    watch->window = window;
    watch->then = std::move(then);
    window->installEventFilter(watch);
    return watch;
}
