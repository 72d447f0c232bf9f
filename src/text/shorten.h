#pragma once

#include <QByteArray>

// The program's two display widths for its 8-bit texts.

// A text of 25 or more characters becomes its first 26 characters and "..."; a shorter one
// stays as it is.
QByteArray Shorten25(const QByteArray& s);

// A text of 50 or more characters becomes its first 51 characters and "..."; a shorter one
// stays as it is.
QByteArray Shorten50(const QByteArray& s);
