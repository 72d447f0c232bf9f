#include "portal/stationmap.h"

#include "portal/listingrequest.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

std::optional<StationMap> StationMap::read(const QString& fileName, QString* error)
{
    const auto fail = [&](const QString& what) {
        if (error)
            *error = what;
        return std::nullopt;
    };
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(
            QStringLiteral("Cannot open station map \"%1\": %2").arg(fileName, file.errorString()));
    const QString text = QString::fromUtf8(file.readAll());
    if (file.error() != QFileDevice::NoError)
        return fail(
            QStringLiteral("Cannot read station map \"%1\": %2").arg(fileName, file.errorString()));

    StationMap map;
    static const QRegularExpression kBreak(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = text.split(kBreak);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int line = static_cast<int>(i + 1);
        const auto lineError = [&](const QString& what) {
            return fail(QStringLiteral("Cannot read station map \"%1\", line %2: %3")
                            .arg(fileName, QString::number(line), what));
        };
        static const QRegularExpression kSpace(QStringLiteral("\\s+"));
        const QString text = lines[i].left(lines[i].indexOf(u'#')); // all of it without a "#"
        const QStringList fields = text.split(kSpace, Qt::SkipEmptyParts);
        if (fields.isEmpty())
            continue;
        if (fields.size() != 2)
            return lineError(QStringLiteral("expected a station number and a channel id, "
                                            "found \"%1\".")
                                 .arg(fields.join(u' ')));
        bool ok = false;
        const int station = fields[0].toInt(&ok);
        if (!ok || station < 0 || !fields[0].front().isDigit() ||
            fields[0].size() > ListingRequest::kMaxStationDigits)
            return lineError(QStringLiteral("\"%1\" is not a station number.").arg(fields[0]));
        if (map.channel(station))
            return lineError(QStringLiteral("station %1 is already mapped on line %2.")
                                 .arg(station)
                                 .arg(map.line(station)));
        map.insert(station, fields[1], line);
    }
    return map;
}

void StationMap::insert(int station, const QString& channelId, int line)
{
    m_entries.insert(station, Entry{channelId, line});
}

const QString* StationMap::channel(int station) const
{
    const auto it = m_entries.constFind(station);
    return it == m_entries.cend() ? nullptr : &it->channelId;
}

int StationMap::line(int station) const
{
    return m_entries.value(station).line;
}

QList<int> StationMap::stations() const
{
    QList<int> numbers = m_entries.keys();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}
