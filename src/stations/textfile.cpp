#include "stations/textfile.h"

#include "text/errorreport.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <system_error>

namespace {

QString errnoText(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

// The reason shown after the file name when opening or renaming fails: what the file device
// reports, else the system error of the last call.
QString deviceReason(const QFileDevice& file, int savedErrno)
{
    if (file.error() != QFileDevice::NoError && !file.errorString().isEmpty())
        return file.errorString();
    if (savedErrno != 0)
        return errnoText(savedErrno);
    return QStringLiteral("Unknown error");
}

// The reason when reading or writing the text fails. Qt does not record a short write as an error
// and reports a failed flush only as "Unknown error", while the system call that stopped the write
// (e.g. "No space left on device") has left its error in errno.
QString transferReason(const QFileDevice& file, int savedErrno)
{
    return savedErrno != 0 ? errnoText(savedErrno) : deviceReason(file, 0);
}

[[noreturn]] void throwCannotOpen(const QString& path, const QString& reason)
{
    throw ErrorReport(QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason));
}

[[noreturn]] void throwCannotCreate(const QString& path, const QString& reason)
{
    throw ErrorReport(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason));
}

} // namespace

QList<QByteArray> splitTextLines(const QByteArray& withZeros)
{
    // A zero byte used to end the text, and a save then wrote back only the lines before it.
    const QByteArray text = withZeros.contains('\0')
                                ? QByteArray(withZeros).replace('\0', QByteArrayView())
                                : withZeros;
    const char* p = text.constData();
    const char* const end = p + text.size();

    QList<QByteArray> lines;
    while (p < end) {
        const char* const start = p;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        lines.append(QByteArray(start, p - start));
        if (p < end && *p == '\r')
            ++p;
        if (p < end && *p == '\n')
            ++p;
    }
    return lines;
}

QByteArray joinTextLines(const QList<QByteArray>& lines)
{
    qsizetype size = 0;
    for (const QByteArray& line : lines)
        size += line.size() + 2;
    QByteArray text;
    text.reserve(size);
    for (const QByteArray& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

QList<QByteArray> readTextFile(const QString& path)
{
    QFile file(path);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throwCannotOpen(path, deviceReason(file, errno));
    errno = 0;
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throwCannotOpen(path, transferReason(file, errno));
    QList<QByteArray> lines = splitTextLines(text);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].size() > kLongestLine)
            throwCannotOpen(path, QStringLiteral("Line %1 is longer than %2 characters.")
                                      .arg(QString::number(i + 1), QString::number(kLongestLine)));
    }
    return lines;
}

void writeTextFile(const QString& path, const QList<QByteArray>& lines)
{
    QSaveFile file(path);
    // A temporary file renamed over the old one: a failure never leaves a truncated file.
    // Where the folder refuses new files but the file itself may be written, it is written in
    // place, or the program could never save and so never end.
    file.setDirectWriteFallback(true);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        throwCannotCreate(path, deviceReason(file, errno));

    // A short write, and a failure while flushing the buffer, are not recorded by QSaveFile
    // itself (commit() would then rename a truncated file over the old one), so both are
    // checked here. Returning without commit() lets the destructor remove the temporary file.
    const QByteArray text = joinTextLines(lines);
    errno = 0;
    if (file.write(text) != text.size() || !file.flush())
        throwCannotCreate(path, transferReason(file, errno));
    errno = 0;
    if (!file.commit())
        throwCannotCreate(path, deviceReason(file, errno));
}
