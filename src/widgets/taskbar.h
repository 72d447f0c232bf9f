#pragma once

class QWidget;

// Keeps a top-level tool window (Qt::Tool) off the taskbar and out of the task switcher. The
// tool-window flag alone does that on Windows, but not under every X11 window manager (icewm
// still gives it a button), so on X11 the window also gets the skip-taskbar and skip-pager
// states. Call it each time the window is about to be shown; repeating it is harmless.
void keepOffTaskbar(QWidget* window);
