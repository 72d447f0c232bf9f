#include "stations/win1250.h"

#include <QHash>
#include <QStringDecoder>
#include <array>

namespace {

constexpr char kCodec[] = "windows-1250";

// The code page maps each byte to one character, so the whole conversion is a table. It is
// filled once from Qt's converter; opening an ICU converter for every text (every log line
// and every row shown) cost more than the rest of an update tick.
struct Tables {
    std::array<char16_t, 256> toUnicode{};
    QHash<char16_t, char> fromUnicode;
};

const Tables& CodePage()
{
    static const Tables tables = [] {
        QStringDecoder decoder(kCodec, QStringConverter::Flag::Stateless);
        if (!decoder.isValid())
            qFatal("Qt was built without the %s text codec (ICU is needed)", kCodec);
        QByteArray every(256, '\0');
        for (int byte = 0; byte < 256; ++byte)
            every[byte] = static_cast<char>(byte);
        const QString text = decoder.decode(every);
        if (text.size() != 256 || decoder.hasError())
            qFatal("The %s text codec does not map every byte to one character", kCodec);
        Tables built;
        for (int byte = 0; byte < 256; ++byte) {
            built.toUnicode[byte] = text[byte].unicode();
            built.fromUnicode.insert(text[byte].unicode(), static_cast<char>(byte));
        }
        return built;
    }();
    return tables;
}

} // namespace

QString Win1250ToUnicode(const QByteArray& bytes)
{
    const auto& table = CodePage().toUnicode;
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (char byte : bytes)
        *out++ = QChar(table[static_cast<uchar>(byte)]);
    return text;
}

std::optional<QByteArray> UnicodeToWin1250(const QString& text)
{
    const auto& table = CodePage().fromUnicode;
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    for (QChar c : text) {
        const auto found = table.constFind(c.unicode());
        if (found == table.constEnd())
            return std::nullopt; // no byte for it, a lone surrogate included
        *out++ = *found;
    }
    return bytes;
}
