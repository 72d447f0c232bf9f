#pragma once

#include <QRegion>
#include <QSize>

class QColor;
class QPainter;

// The rounded look shared by the main window, the input dialog and the reminder window.
//
// Rectangles follow the classic rounded-rectangle rule: right and bottom are exclusive, so
// (0, 0, 350, 239) covers the pixels 0..349 and 0..238. ellipseW and ellipseH are the width and
// height of the corner ellipses.

// The filled rounded rectangle, pixel by pixel.
QRegion roundRectRegion(int left, int top, int right, int bottom, int ellipseW, int ellipseH);

// The one-pixel outline of the same shape: its pixels that touch the outside.
QRegion roundRectOutline(int left, int top, int right, int bottom, int ellipseW, int ellipseH);

// The window shape: (0, 0) to (width, height) with 8 x 8 corners.
QRegion roundedWindowShape(QSize size);

// The two-line frame: a cream line from (1, 1) to (W - 2, H - 2) with 8 x 8 corners, then a
// grey-green line from (0, 0) to (W - 1, H - 1) with 10 x 10 corners. Nothing is filled.
void paintRoundedFrame(QPainter& painter, QSize size);
