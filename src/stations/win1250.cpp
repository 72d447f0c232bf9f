#include "stations/win1250.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr char kCodec[] = "windows-1250";

// Stateless: each call converts a complete text, so a lone surrogate at the end is an error
// rather than a half character kept for a next call that never comes.
constexpr QStringConverter::Flags kFlags = QStringConverter::Flag::Stateless;

} // namespace

QString Win1250ToUnicode(const QByteArray& bytes)
{
    QStringDecoder decoder(kCodec, kFlags);
    if (!decoder.isValid())
        qFatal("Qt was built without the %s text codec (ICU is needed)", kCodec);
    return decoder.decode(bytes);
}

std::optional<QByteArray> UnicodeToWin1250(const QString& text)
{
    QStringEncoder encoder(kCodec, kFlags);
    if (!encoder.isValid())
        qFatal("Qt was built without the %s text codec (ICU is needed)", kCodec);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    // A converter may fall back to a look-alike byte without reporting an error; such text
    // is not what the user typed, so it counts as not representable either.
    if (Win1250ToUnicode(bytes) != text)
        return std::nullopt;
    return bytes;
}
