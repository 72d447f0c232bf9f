#include "portal/programtext.h"

#include <QChar>
#include <QHash>
#include <optional>

namespace {

// ISO-8859-2 from 0xA0 to 0xFF; below that it is ASCII and C1 controls.
constexpr char16_t kLatin2Upper[96] = {
    0x00A0, 0x0104, 0x02D8, 0x0141, 0x00A4, 0x013D, 0x015A, 0x00A7, // A0
    0x00A8, 0x0160, 0x015E, 0x0164, 0x0179, 0x00AD, 0x017D, 0x017B, // A8
    0x00B0, 0x0105, 0x02DB, 0x0142, 0x00B4, 0x013E, 0x015B, 0x02C7, // B0
    0x00B8, 0x0161, 0x015F, 0x0165, 0x017A, 0x02DD, 0x017E, 0x017C, // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
};

struct Written {
    char32_t character;
    const char* bytes;
};

// What ekranik would show wrong from the ISO-8859-2 byte, written as the byte it shows right
// (the Windows-1250 byte, which ekranik leaves as it is). Checked before the table above.
constexpr Written kShownRight[] = {
    {0x0104, "\xA5"}, // Ą: 0xA1 showed as ˇ before ekranik converted it
    {0x0179, "\x8F"}, // Ź: 0xAC showed as ¬ before ekranik converted it
    {0x0160, "\x8A"}, // Š: 0xA9 would show as ©
    {0x0164, "\x8D"}, // Ť: 0xAB would show as «
    {0x017D, "\x8E"}, // Ž: 0xAE would show as ®
    {0x0161, "\x9A"}, // š: 0xB9 would show as ą
    {0x0165, "\x9D"}, // ť: 0xBB would show as »
    {0x017E, "\x9E"}, // ž: 0xBE would show as ľ
    {0x013E, "\xBE"}, // ľ: 0xB5 would show as µ
    {0x02C7, ""},     // ˇ: 0xB7 would show as ·, and ekranik shows 0xA1 as Ą: left out
    {0x013D, "L"},    // Ľ: ekranik turns its Windows-1250 byte 0xBC into ź, so no byte works
    {'<', "("},       {'>', ")"}, {'|', "/"},
};

// Common characters outside ISO-8859-2, and ones whose compatibility decomposition is no help.
constexpr Written kTransliterated[] = {
    {0x2018, "'"},   {0x2019, "'"},   {0x201A, "'"},   {0x201B, "'"},  {0x2032, "'"},
    {0x2039, "'"},   {0x203A, "'"},   {0x201C, "\""},  {0x201D, "\""}, {0x201E, "\""},
    {0x201F, "\""},  {0x2033, "\""},  {0x00AB, "\""},  {0x00BB, "\""}, {0x2010, "-"},
    {0x2011, "-"},   {0x2012, "-"},   {0x2013, "-"},   {0x2014, "-"},  {0x2015, "-"},
    {0x2212, "-"},   {0x2026, "..."}, {0x2022, "*"},   {0x00B7, "-"},  {0x20AC, "EUR"},
    {0x00A3, "GBP"}, {0x00A9, "(c)"}, {0x00AE, "(R)"}, {0x2122, "TM"}, {0x00B1, "+/-"},
    {0x00B5, "u"},   {0x00E6, "ae"},  {0x00C6, "AE"},  {0x0153, "oe"}, {0x0152, "OE"},
    {0x00F8, "o"},   {0x00D8, "O"},   {0x2044, "/"},   {0x00BF, "?"},  {0x00A1, "!"},
    {0x00B6, "P"},   {0x00A6, "/"},   {0x00AC, "-"},   {0x00BA, "o"},  {0x00AA, "a"},
    {0x00B2, "2"},   {0x00B3, "3"},   {0x00B9, "1"},   {0x00F0, "d"},  {0x00DE, "Th"},
    {0x00FE, "th"},  {0x0131, "i"},
};

// Every character that is written without decomposition, and its bytes.
QHash<char32_t, QByteArray> makeDirectTable()
{
    QHash<char32_t, QByteArray> table;
    for (char32_t c = 0x20; c < 0x7F; ++c)
        table.insert(c, QByteArray(1, static_cast<char>(c)));
    for (int i = 0; i < 96; ++i)
        table.insert(kLatin2Upper[i], QByteArray(1, static_cast<char>(0xA0 + i)));
    for (const Written& w : kTransliterated)
        table.insert(w.character, w.bytes);
    for (const Written& w : kShownRight)
        table.insert(w.character, w.bytes);
    return table;
}

const QHash<char32_t, QByteArray>& directTable()
{
    static const QHash<char32_t, QByteArray> table = makeDirectTable();
    return table;
}

bool isDropped(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Other_Format ||
           category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing;
}

// The bytes of one character, or nullopt when it has none without decomposition.
std::optional<QByteArray> directBytes(char32_t c)
{
    const auto& table = directTable();
    const auto it = table.constFind(c);
    if (it != table.cend())
        return *it;
    if (isDropped(c))
        return QByteArray();
    return std::nullopt;
}

QByteArray characterBytes(char32_t c)
{
    if (const std::optional<QByteArray> bytes = directBytes(c))
        return *bytes;
    // A letter with marks ISO-8859-2 lacks, a ligature, a full-width or circled form: its
    // compatibility decomposition without the marks, when all of that can be written.
    const QString decomposed = QString::fromUcs4(&c, 1).normalized(QString::NormalizationForm_KD);
    QByteArray result;
    for (const char32_t part : decomposed.toUcs4()) {
        const std::optional<QByteArray> bytes = directBytes(part);
        if (!bytes)
            return "?";
        result += *bytes;
    }
    return result;
}

} // namespace

QByteArray programText(const QString& text)
{
    const QString clean = text.normalized(QString::NormalizationForm_C).simplified();
    QByteArray result;
    result.reserve(clean.size());
    for (const char32_t c : clean.toUcs4())
        result += characterBytes(c);
    // Dropped characters may leave spaces side by side or at an end.
    result = result.simplified();
    result.replace("trwa.gif", "trwa gif");
    return result;
}

QString shownText(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        char32_t c = b < 0xA0 ? b : kLatin2Upper[b - 0xA0];
        // The few characters written as their Windows-1250 byte.
        for (const Written& w : kShownRight) {
            if (b >= 0x80 && w.bytes[0] == byte) {
                c = w.character;
                break;
            }
        }
        text += QChar(static_cast<char16_t>(c));
    }
    return text;
}
