#pragma once

class QRegion;
class QWidget;

// The shape of a top-level window in screen pixels. On a high-density screen one window pixel
// covers several screen pixels, and a mask in window pixels (QWidget::setMask) is too coarse to
// follow a text drawn at the screen's own resolution: the parts of the covered screen pixels that
// the text leaves free would show the background around every letter.
//
// X11 only. Elsewhere there are no screen-pixel shapes, and the window keeps its mask.
bool hasScreenPixelShapes();
// Shapes the window to `screenPixels`, in screen pixels from its top-left corner; an empty
// region takes the shape away. The window is created if it was not yet.
void setScreenPixelShape(QWidget* window, const QRegion& screenPixels);
