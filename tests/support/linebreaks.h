#pragma once

#include <QByteArray>

// The plain one-byte-at-a-time way to make every line break CR LF, which the program's fast
// normalizeLineBreaks() is checked against.
inline QByteArray slowNormalizeLineBreaks(const QByteArray& text)
{
    QByteArray result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            result += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}
