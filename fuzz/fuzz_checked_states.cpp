// Any bytes as the check marks file, programy_stan.tv, applied to a list of kCount stations.
// Every line is read by strToInt exactly as its grammar says (checked against a plain reading
// with std::from_chars), or refused with the report the user sees; nothing else is thrown.
// The marks are set line by line up to the first bad line and only on positions in the list.
// The marks saved and read again are the same marks.

#include "fuzzsupport.h"
#include "stations/checkedstates.h"
#include "stations/strtoint.h"
#include "stations/textfile.h"
#include "text/errorreport.h"
#include "text/win1250.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace {

// A list a little longer than the default one, so that many small numbers are positions in it.
constexpr int kCount = 24;

// The number a line means: spaces, a sign, then decimal digits, or hex digits after "$",
// "0x" or "0X", and nothing else; nullopt when it means none or one beyond 32 bits.
std::optional<int> plainReading(const QByteArray& line)
{
    std::string_view text(line.constData(), static_cast<std::size_t>(line.size()));
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with('$')) {
        base = 16;
        text.remove_prefix(1);
    } else if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars takes a minus sign of its own, which the line may not have here.
    if (text.empty() || text.front() == '-')
        return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    const std::int64_t lowest = std::numeric_limits<int>::min();
    const std::int64_t highest = std::numeric_limits<int>::max();
    if (magnitude > std::uint64_t(highest) + 1)
        return std::nullopt;
    const std::int64_t value = negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
    if (value < lowest || value > highest)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> strToIntOrNone(const QByteArray& line)
{
    try {
        return strToInt(line);
    } catch (const ErrorReport& report) {
        FUZZ_CHECK(report.text() ==
                   QStringLiteral("'%1' is not a valid integer value").arg(win1250ToUnicode(line)));
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> lines = splitTextLines(bytes);

    // What applying the lines should do: the marks of the lines before the first bad one.
    QList<int> expected;
    std::optional<QString> expectedReport;
    for (const QByteArray& line : lines) {
        const std::optional<int> value = strToIntOrNone(line);
        FUZZ_CHECK(value == plainReading(line));
        if (!value) {
            expectedReport =
                QStringLiteral("'%1' is not a valid integer value").arg(win1250ToUnicode(line));
            break;
        }
        if (*value < 0 || *value >= kCount) {
            expectedReport = QStringLiteral("List index out of bounds (%1)").arg(*value);
            break;
        }
        expected.append(*value);
    }

    QList<int> applied;
    QList<bool> checked(kCount, false);
    std::optional<QString> report;
    try {
        applyCheckedStateLines(lines, kCount, [&](int position) {
            FUZZ_CHECK(position >= 0 && position < kCount);
            applied.append(position);
            checked[position] = true;
        });
    } catch (const ErrorReport& error) {
        report = error.text();
    }
    FUZZ_CHECK(applied == expected);
    FUZZ_CHECK(report == expectedReport);

    // Saved and read again: ascending positions, one a line, the same marks.
    const QList<QByteArray> savedLines = checkedStateLines(checked);
    for (qsizetype i = 1; i < savedLines.size(); ++i)
        FUZZ_CHECK(strToInt(savedLines[i - 1]) < strToInt(savedLines[i]));
    QList<bool> again(kCount, false);
    applyCheckedStateLines(splitTextLines(joinTextLines(savedLines)), kCount,
                           [&](int position) { again[position] = true; });
    FUZZ_CHECK(again == checked);
    return 0;
}
