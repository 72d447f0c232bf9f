#include "display/shaperows.h"

Runs spliced(const Runs& row, int left, int right, const Runs& inside)
{
    Runs joined;
    const auto append = [&joined](int from, int to) {
        if (from >= to)
            return;
        if (!joined.empty() && joined.back().second == from)
            joined.back().second = to;
        else
            joined.emplace_back(from, to);
    };
    for (const auto& [from, to] : row)
        append(from, std::min(to, left));
    for (const auto& [from, to] : inside)
        append(from, to);
    for (const auto& [from, to] : row)
        append(std::max(from, right), to);
    return joined;
}

Runs newIn(const Runs& now, const Runs& before)
{
    Runs added;
    auto old = before.begin();
    for (auto [from, to] : now) {
        while (old != before.end() && old->second <= from)
            ++old;
        for (auto next = old; from < to; ++next) {
            if (next == before.end() || next->first >= to) {
                added.emplace_back(from, to);
                break;
            }
            if (next->first > from)
                added.emplace_back(from, next->first);
            from = std::max(from, next->second);
        }
    }
    return added;
}

QRegion regionOf(const std::vector<Runs>& rows, int top)
{
    std::vector<QRect> rects;
    int bandTop = 0;
    const auto endBand = [&](int bottom) {
        for (const auto& [left, right] : rows[bandTop])
            rects.emplace_back(left, top + bandTop, right - left, bottom - bandTop);
    };
    for (int y = 1; y <= static_cast<int>(rows.size()); ++y) {
        if (y < static_cast<int>(rows.size()) && rows[y] == rows[bandTop])
            continue;
        endBand(y);
        bandTop = y;
    }
    QRegion region;
    region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}
