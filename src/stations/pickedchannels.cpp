#include "stations/pickedchannels.h"

#include "stations/stationentry.h"

#include <QSet>

namespace {

QByteArray nameKey(const QByteArray& name)
{
    return name.toLower(); // ASCII only, as case-blind file systems at least fold
}

// "tvp.1.tv" -> "tvp.1-2.tv"; a name without an extension gets the number at its end.
QByteArray numberedName(const QByteArray& name, int number)
{
    const qsizetype dot = name.lastIndexOf('.');
    const qsizetype cut = dot > 0 ? dot : name.size();
    return name.left(cut) + '-' + QByteArray::number(number) + name.mid(cut);
}

} // namespace

CheckedStations mergePickedChannels(const QList<QByteArray>& entries, const QList<bool>& checks,
                                    const QList<QByteArray>& picked,
                                    const QList<QByteArray>& unpicked)
{
    CheckedStations merged{entries, checks.mid(0, entries.size())};
    while (merged.checks.size() < merged.entries.size())
        merged.checks << false;

    QSet<QByteArray> takenNames;
    for (const QByteArray& entry : entries)
        takenNames.insert(nameKey(EntryName(entry)));
    const auto setMarks = [&merged](const QByteArray& url, bool checked) {
        bool found = false;
        for (qsizetype row = 0; row < merged.entries.size(); ++row) {
            if (EntryURL(merged.entries.at(row)) == url) {
                merged.checks[row] = checked;
                found = true;
            }
        }
        return found;
    };

    for (const QByteArray& line : unpicked)
        setMarks(EntryURL(line), false);
    for (const QByteArray& line : picked) {
        const QByteArray url = EntryURL(line);
        if (!line.contains('|') || setMarks(url, true))
            continue;
        QByteArray name = EntryName(line);
        const StationNameProblem problem = checkStationName(name);
        if (problem != StationNameProblem::None && problem != StationNameProblem::StationFile)
            continue;
        for (int number = 2; takenNames.contains(nameKey(name)) ||
                             checkStationName(name) == StationNameProblem::StationFile;
             ++number)
            name = numberedName(EntryName(line), number);
        takenNames.insert(nameKey(name));
        merged.entries << name + '|' + url;
        merged.checks << true;
    }
    return merged;
}
