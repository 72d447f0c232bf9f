#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The one place where the program's Windows-1250 bytes (station entries, file contents,
// downloaded pages) become QString for display, and where edited text becomes bytes again.
//
// The five bytes that Windows-1250 leaves unassigned (0x81, 0x83, 0x88, 0x90, 0x98) decode to
// the C1 control characters of the same value (U+0081 ...), as ICU's converter has them, and
// encode back to the same byte, so every byte string survives decoding and encoding
// unchanged. That is a property of this converter, not of the code page (other converters
// reject those bytes or turn them into U+FFFD), and the controls display as nothing useful,
// so code that must keep bytes exact keeps the original bytes beside the displayed text.

// Decodes Windows-1250 bytes; every byte value gives exactly one character (0x00 gives U+0000).
QString win1250ToUnicode(const QByteArray& bytes);

// Encodes text as Windows-1250; nullopt when some character has no Windows-1250 byte
// (e.g. Cyrillic or CJK letters, emoji, a lone surrogate).
std::optional<QByteArray> unicodeToWin1250(const QString& text);
