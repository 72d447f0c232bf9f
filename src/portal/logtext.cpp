#include "portal/logtext.h"

QByteArray logText(QByteArrayView line)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray text;
    text.reserve(line.size());
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += c;
        } else {
            const char escaped[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
            text.append(escaped, 4);
        }
    }
    return text;
}
