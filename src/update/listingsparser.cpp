#include "update/listingsparser.h"

#include "text/win1250.h"
#include "update/pagetext.h"

#include <QFile>
#include <cerrno>
#include <system_error>

namespace {

// What the file reports, else the system error the failed call left, else Qt's own words.
QString failureReason(const QFile& file, int savedErrno)
{
    if (file.error() != QFileDevice::NoError && !file.errorString().isEmpty() &&
        file.errorString() != QLatin1String("Unknown error"))
        return file.errorString();
    if (savedErrno != 0)
        return QString::fromStdString(std::generic_category().message(savedErrno));
    return file.errorString();
}

} // namespace

std::optional<QByteArray> ListingsParser::ParseListingsPage(const QString& fileName)
{
    return parse(fileName, false);
}

std::optional<QByteArray> ListingsParser::parseKeptPage(const QString& fileName)
{
    return parse(fileName, true);
}

std::optional<QByteArray> ListingsParser::parse(const QString& fileName, bool keptPage)
{
    const std::optional<QByteArray> station = unicodeToWin1250(fileName);
    if (!station) {
        m_errorString = QStringLiteral("Cannot read file \"%1\". The name has a character "
                                       "that Windows-1250 lacks.")
                            .arg(fileName);
        return std::nullopt;
    }

    QByteArray raw;
    QFile file(fileName);
    if (!keptPage || file.exists()) {
        errno = 0;
        if (!file.open(QIODevice::ReadOnly)) {
            m_errorString = QStringLiteral("Cannot open file \"%1\". %2")
                                .arg(fileName, failureReason(file, errno));
            return std::nullopt;
        }
        errno = 0;
        raw = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            m_errorString = QStringLiteral("Cannot read file \"%1\". %2")
                                .arg(fileName, failureReason(file, errno));
            return std::nullopt;
        }
    }

    m_errorString.clear();
    m_pageText = normalizeLineBreaks(raw);
    QByteArray title;
    const QByteArray line =
        nowPlayingLine(m_pageText, *station, &title, &m_lastNext, &m_lastOnAirTime);
    if (!keptPage) {
        m_lastTitle = fixPageCharset(title);
        m_lastStation = fixPageCharset(*station);
    }
    return line;
}

std::optional<NextUp> ListingsParser::lastNextUp() const
{
    if (!m_lastNext)
        return std::nullopt;
    return NextUp{m_lastOnAirTime, *m_lastNext};
}
