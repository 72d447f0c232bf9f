#include "reminders/remindersearch.h"

namespace {

QByteArray AsciiLower(const QByteArray& text)
{
    QByteArray lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

} // namespace

bool ReminderMatches(const QByteArray& keyword, const QByteArray& title)
{
    return !keyword.isEmpty() && AsciiLower(title).contains(AsciiLower(keyword));
}
