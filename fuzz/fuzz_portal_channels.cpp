// Any bytes as the portal's /channels.json, which the channel picker reads. Nothing crashes or
// throws: the answer is read, or refused with a sentence saying why. What is read keeps the
// format's promises to the picker: every channel has a name to show and a station entry it can
// add, which survives the trip through text and back. Merging every channel into a station list
// then never loses an entry, adds each URL once, and adds only names that are free.

#include "fuzzsupport.h"
#include "stations/pickedchannels.h"
#include "stations/portalchannels.h"
#include "stations/stationentry.h"
#include "text/win1250.h"

#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    int leftOut = 0;
    const std::optional<PortalChannels> answer = parsePortalChannels(bytes, &error, &leftOut);
    if (!answer) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    FUZZ_CHECK(leftOut >= 0 && answer->channels.size() + leftOut <= kMaxPortalChannels);
    for (const PortalProblem& problem : answer->problems)
        FUZZ_CHECK(problem.line >= 0);

    QList<QByteArray> picked;
    QSet<QByteArray> urls;
    for (const PortalChannel& channel : answer->channels) {
        FUZZ_CHECK(!channel.names.isEmpty());
        FUZZ_CHECK(checkStationName(EntryName(channel.station)) == StationNameProblem::None);
        FUZZ_CHECK(unicodeToWin1250(win1250ToUnicode(channel.station)) == channel.station);
        FUZZ_CHECK(channel.nowStart.isValid() || channel.nowTitle.isEmpty());
        picked << channel.station;
        urls.insert(EntryURL(channel.station));
    }

    const QList<QByteArray> listed{"tvp.1.tv|http://127.0.0.1:8080/x", "tvn.tv|elsewhere"};
    const CheckedStations merged = mergePickedChannels(listed, {true, false}, picked, {});
    FUZZ_CHECK(merged.entries.mid(0, listed.size()) == listed);
    FUZZ_CHECK(merged.entries.size() == merged.checks.size());
    QSet<QByteArray> names;
    QSet<QByteArray> addedUrls;
    for (qsizetype row = 0; row < merged.entries.size(); ++row) {
        const QByteArray& entry = merged.entries.at(row);
        FUZZ_CHECK(!names.contains(EntryName(entry).toLower()));
        names.insert(EntryName(entry).toLower());
        if (row < listed.size())
            continue;
        FUZZ_CHECK(merged.checks.at(row));
        FUZZ_CHECK(urls.contains(EntryURL(entry)) && !addedUrls.contains(EntryURL(entry)));
        addedUrls.insert(EntryURL(entry));
    }
    return 0;
}
