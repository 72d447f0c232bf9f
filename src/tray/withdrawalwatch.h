#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QtGlobal>
#include <functional>

class QWidget;

// A window that a window manager shows and the program unmaps may be mapped again only once the
// manager has withdrawn it, taking its WM_STATE away or setting it to Withdrawn (ICCCM).
// Mapped sooner, it can be lost for good: icewm then leaves it unmapped and unmanaged, where
// nothing brings it back. Changing a shown window's flags unmaps it (QWidget::setParent).
//
// WithdrawalWatch::unmapThen(window, unmap, then) runs `unmap`, which unmaps `window`, and runs
// `then` from the event loop once the window manager has withdrawn the window. Where there is
// nothing to wait for (not on X11, or a window no manager holds) `then` runs at once, and a
// manager that says nothing is waited for MaxWaitMs at most. `then` is dropped when the window
// goes first.
class WithdrawalWatch : public QObject, public QAbstractNativeEventFilter {
public:
    // Long enough for a window manager on a busy machine; one that never updates WM_STATE gets
    // the window back this late.
    static constexpr int MaxWaitMs = 10000;

    static void unmapThen(QWidget* window, const std::function<void()>& unmap,
                          std::function<void()> then);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    WithdrawalWatch(QWidget* window, quint32 windowId, quint32 wmState, std::function<void()> then);
    void finish();

    quint32 m_windowId;
    quint32 m_wmState;
    std::function<void()> m_then;
    bool m_finished = false;
};
