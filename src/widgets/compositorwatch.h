#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>

#include <cstdint>

// Whether a compositing manager puts the desktop together, so that a window may show per-pixel
// translucency, and word of every change while the program runs.
//
// On X11 a compositing manager owns the _NET_WM_CM_S<screen> selection for as long as it runs;
// the X Fixes extension reports every change of that owner, and without it the owner is asked
// every two seconds. Wayland always composites. Elsewhere (the offscreen platform of the tests,
// a framebuffer) nothing composites.
class CompositorWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit CompositorWatch(QObject* parent = nullptr);
    ~CompositorWatch() override;

    bool isActive() const { return m_active; }

signals:
    void activeChanged(bool active);

protected:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void recheck();

    bool m_active = false;
    bool m_x11 = false;
    std::uint32_t m_selection = 0; // the _NET_WM_CM_S<screen> atom
    int m_selectionEvent = -1;     // X Fixes' selection-notify event code, once selected
    QTimer m_poll;
};
