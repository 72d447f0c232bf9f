#pragma once

#include "update/pageprogramme.h"

#include <QTest>
#include <optional>

// How a failed comparison prints a programme row: {time, title[, on air][, hit]}.
inline char* toString(const PageProgramme& p)
{
    return QTest::toString("{" + p.time + ", " + p.title + (p.onAir ? ", on air" : "") +
                           (p.hit ? ", hit" : "") + "}");
}

inline char* toString(const std::optional<PageProgramme>& p)
{
    return p ? toString(*p) : QTest::toString("none");
}
