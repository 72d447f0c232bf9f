#pragma once

#include <QByteArray>
#include <QList>

// The station list with its check marks, one mark per entry.
struct CheckedStations {
    QList<QByteArray> entries;
    QList<bool> checks;
};

// The station list after the channel picker: `picked` and `unpicked` are station lines
// ("name|URL", Windows-1250). A channel is in the list when an entry has the same URL: a picked
// one is then checked, an unpicked one unchecked (never deleted); a picked channel not in the
// list is added at the end, checked, once however often it comes. An added entry whose name
// another entry already has (ignoring ASCII case, as some file systems do), or that names a
// station file, gets the first free name "<stem>-2<.ext>", "-3" ...: the name is the file its
// page is saved under. A picked line whose name cannot be a file name is left out. Existing
// entries and their order stay; `checks` shorter than `entries` counts as unchecked there.
CheckedStations mergePickedChannels(const QList<QByteArray>& entries, const QList<bool>& checks,
                                    const QList<QByteArray>& picked,
                                    const QList<QByteArray>& unpicked);
