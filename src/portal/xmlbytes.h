#pragma once

// What the XML scanner's parts share about bytes: the classes of the bytes markup is made of,
// UTF-8 sequences and character references. Only the scanner's own files include it.

#include "portal/xmllimits.h"

#include <QString>
#include <QtGlobal>
#include <array>

namespace xmlbytes {

using namespace xmllimits;

// What is read from the device at a time.
inline constexpr qsizetype kChunk = 64 * 1024;

// What a byte can be in markup, as bits of kClasses.
enum : quint8 {
    kNameStart = 1,
    kNameChar = 2,
    kSpace = 4,
    kTextStop = 8,       // ends a run of plain text bytes
    kTextStopUtf8 = 16,  // the same where bytes above ASCII are checked as UTF-8
    kValueStop = 32,     // ends a run of plain attribute value bytes
    kValueStopUtf8 = 64, // the same, UTF-8 checked
};

constexpr std::array<quint8, 256> makeClasses()
{
    std::array<quint8, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        quint8 k = 0;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter || c == '_' || c == ':' || c >= 0x80)
            k |= kNameStart | kNameChar;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.')
            k |= kNameChar;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            k |= kSpace;
        if (c == '<' || c == '&')
            k |= kTextStop | kTextStopUtf8 | kValueStop | kValueStopUtf8;
        if (c == '"' || c == '\'')
            k |= kValueStop | kValueStopUtf8;
        if (c >= 0x80)
            k |= kTextStopUtf8 | kValueStopUtf8;
        classes[c] = k;
    }
    return classes;
}

inline constexpr std::array<quint8, 256> kClasses = makeClasses();

inline bool is(uchar c, quint8 what)
{
    return (kClasses[c] & what) != 0;
}

// The length of the UTF-8 sequence whose first byte (0x80 or above) is at p: 0 when the bytes
// are no UTF-8, -1 when those before end begin a sequence that may go on after it.
inline int utf8Length(const uchar* p, const uchar* end)
{
    const uchar lead = *p;
    int length = 0;
    // The second byte's range, narrower after some leads: no overlong forms, no surrogates,
    // nothing above U+10FFFF.
    uchar low = 0x80;
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    for (int i = 1; i < length; ++i) {
        if (p + i >= end)
            return -1;
        const uchar c = p[i];
        if (i == 1 ? (c < low || c > high) : (c & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

inline bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

struct Reference {
    enum Kind {
        None,       // the "&" starts no reference: it is text
        Named,      // &name;
        Character,  // &#...; of a character XML allows
        Incomplete, // the bytes run out before it can be told
        Malformed,  // &# without a proper number
        Forbidden,  // &#...; of a character XML does not allow
    };
    Kind kind = None;
    qsizetype length = 0; // from "&" to ";" inclusive
    char32_t code = 0;
};

inline int digitValue(uchar c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The reference at p, an "&", in the bytes before end; final: nothing follows end.
inline Reference parseReference(const uchar* p, const uchar* end, bool final)
{
    const uchar* q = p + 1;
    if (q == end)
        return {final ? Reference::None : Reference::Incomplete};
    if (*q == '#') {
        ++q;
        const bool hex = q < end && *q == 'x';
        if (hex)
            ++q;
        char32_t code = 0;
        const uchar* digits = q;
        for (; q < end && *q != ';' && q - p <= kMaxReference; ++q) {
            const int value = digitValue(*q, hex);
            if (value < 0)
                return {Reference::Malformed};
            // Anything above U+10FFFF is as bad as any other; stop counting there.
            code = std::min<char32_t>(code * (hex ? 16 : 10) + char32_t(value), 0x110000);
        }
        if (q == end)
            return {final ? Reference::Malformed : Reference::Incomplete};
        if (*q != ';' || q == digits)
            return {Reference::Malformed};
        const qsizetype length = q + 1 - p;
        return {isXmlChar(code) ? Reference::Character : Reference::Forbidden, length, code};
    }
    if (!is(*q, kNameStart))
        return {Reference::None};
    for (++q; q < end && is(*q, kNameChar); ++q) {
        if (q - p > kMaxReference)
            return {Reference::None};
    }
    if (q == end)
        return {final ? Reference::None : Reference::Incomplete};
    if (*q != ';')
        return {Reference::None};
    return {Reference::Named, q + 1 - p};
}

inline const char* const kNotUtf8 =
    "a byte sequence that is not UTF-8 (is the file's encoding declared?).";

// "1 MiB", "64 KiB": a limit as messages give it.
inline QString sizeText(qint64 bytes)
{
    if (bytes % (1 << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    return QStringLiteral("%1 KiB").arg(bytes >> 10);
}

} // namespace xmlbytes
