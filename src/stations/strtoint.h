#pragma once

#include <QByteArray>

// Converts text to a signed 32-bit number: optional leading spaces, an optional "+" or "-",
// then decimal digits, or hex digits after "$", "0x" or "0X". Nothing may follow the digits.
// Throws ErrorReport "'<text>' is not a valid integer value" otherwise, and when the value
// does not fit in 32 bits.
int strToInt(const QByteArray& text);
