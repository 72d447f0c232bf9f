#include "stations/strtoint.h"

#include "text/errorreport.h"
#include "text/win1250.h"

#include <optional>

namespace {

std::optional<int> digitValue(char c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    if (value < 0 || value >= base)
        return std::nullopt;
    return value;
}

std::optional<int> parse(const QByteArray& text)
{
    const char* p = text.constData();
    const char* const end = p + text.size();

    while (p < end && *p == ' ')
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    int base = 10;
    if (p < end && *p == '$') {
        base = 16;
        ++p;
    } else if (end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    }
    if (p == end)
        return std::nullopt;

    // The magnitude of the most negative value; anything beyond it cannot fit either way.
    constexpr qint64 kLimit = qint64(1) << 31;
    qint64 magnitude = 0;
    for (; p < end; ++p) {
        const std::optional<int> digit = digitValue(*p, base);
        if (!digit)
            return std::nullopt;
        magnitude = magnitude * base + *digit;
        if (magnitude > kLimit)
            return std::nullopt;
    }
    if (!negative && magnitude == kLimit)
        return std::nullopt;
    return static_cast<int>(negative ? -magnitude : magnitude);
}

} // namespace

int strToInt(const QByteArray& text)
{
    if (const std::optional<int> value = parse(text))
        return *value;
    throw ErrorReport(
        QStringLiteral("'%1' is not a valid integer value").arg(win1250ToUnicode(text)));
}
