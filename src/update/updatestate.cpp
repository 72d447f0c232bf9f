#include "update/updatestate.h"

#include <array>
#include <utility>

std::optional<int> frequencyInterval(const QString& keyword)
{
    static const std::array<std::pair<const char*, int>, 6> kFrequencies{{
        {"slowest", 60000},
        {"slow", 40000},
        {"normal", 20000},
        {"fast", 10000},
        {"fastest", 5000},
        {"extreme", 2000},
    }};
    for (const auto& [name, interval] : kFrequencies) {
        if (keyword == QLatin1String(name))
            return interval;
    }
    return std::nullopt;
}
