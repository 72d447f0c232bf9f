#pragma once

#include <QImage>
#include <QRect>
#include <QRegion>

#include <algorithm>
#include <utility>
#include <vector>

// The shape of the desktop widget, row by row: what of its picture shows, as runs of pixels on
// each row, and the region the window is cut to.

using Runs = std::vector<std::pair<int, int>>; // [left, right) of the shown pixels of a row

// The runs of shown pixels on each row of `area` of the window, from `picture`, a picture of
// that area at the screen's pixel ratio: a window pixel shows when any of the screen pixels it
// covers does, so that on a high-density screen no part of a text is cut off.
template <typename Shows>
std::vector<Runs> shownRows(const QImage& picture, const QRect& area, Shows shows)
{
    const qreal ratio = picture.devicePixelRatio();
    const int width = area.width();
    std::vector<int> column(static_cast<std::size_t>(picture.width()));
    for (int x = 0; x < picture.width(); ++x)
        column[x] = std::min(static_cast<int>(x / ratio), width - 1);
    std::vector<char> shown(static_cast<std::size_t>(width));
    std::vector<Runs> rows(static_cast<std::size_t>(area.height()));
    int y = 0;
    for (int row = 0; row < area.height(); ++row) {
        std::fill(shown.begin(), shown.end(), 0);
        for (; y < picture.height() &&
               std::min(static_cast<int>(y / ratio), area.height() - 1) == row;
             ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            for (int x = 0; x < picture.width(); ++x) {
                if (shows(line[x]))
                    shown[column[x]] = 1;
            }
        }
        for (int x = 0; x < width;) {
            if (!shown[x]) {
                ++x;
                continue;
            }
            const int left = x;
            while (x < width && shown[x])
                ++x;
            rows[row].emplace_back(area.x() + left, area.x() + x);
        }
    }
    return rows;
}

// `row` with its runs between `left` and `right` replaced by `inside`, which lie there.
Runs spliced(const Runs& row, int left, int right, const Runs& inside);

// What of the runs of `now` is in none of `before`.
Runs newIn(const Runs& now, const Runs& before);

// The rows from `top` on as a region: rows with the same runs make one band, as QRegion keeps
// its rectangles, so that the same shape always comes out as the same region and compares equal
// to it.
QRegion regionOf(const std::vector<Runs>& rows, int top = 0);
