#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// Which XMLTV channel each station number of the portal's addresses shows.
//
// The file is UTF-8 text, one station a line: the number, white space, the channel id, e.g.
// "1 tvp1.pl". A "#" starts a comment that runs to the end of the line; empty lines are
// skipped. A number may appear once; several numbers may show the same channel.
class StationMap {
public:
    // On failure returns nullopt and sets error to a sentence naming the file and the line.
    static std::optional<StationMap> read(const QString& fileName, QString* error);

    void insert(int station, const QString& channelId, int line = 0);
    // The channel id of a station number, or null.
    const QString* channel(int station) const;
    // The line of the file a station was read from (0 when it was not read from a file).
    int line(int station) const;
    // The station numbers in ascending order.
    QList<int> stations() const;

private:
    struct Entry {
        QString channelId;
        int line = 0;
    };
    QHash<int, Entry> m_entries;
};
