#include "portal/catalogue.h"

#include "portal/programtext.h"

#include <QSet>

namespace {

// A channel's own name as a Unicode string, for making its station name.
QString nameOf(const Channel& channel)
{
    if (!channel.displayNames.isEmpty())
        return shownText(channel.name);
    return channel.id;
}

} // namespace

QByteArray stationNameOf(const QString& channelName)
{
    const QString letters = channelName.normalized(QString::NormalizationForm_KD).toLower();
    QByteArray name;
    bool gap = false;
    for (const QChar c : letters) {
        char ascii = 0;
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'))
            ascii = static_cast<char>(c.unicode());
        else if (c == u'ł')
            ascii = 'l';
        else if (c.category() == QChar::Mark_NonSpacing)
            continue;
        if (!ascii) {
            gap = true;
            continue;
        }
        if (gap && !name.isEmpty())
            name += '.';
        gap = false;
        name += ascii;
    }
    if (name.isEmpty())
        return {};
    if (!name.endsWith(".tv"))
        name += ".tv";
    return name;
}

QByteArray percentEncoded(const QString& text)
{
    return text.toUtf8().toPercentEncoding();
}

Catalogue::Catalogue(Listings listings, StationMap stations)
    : m_listings(std::move(listings)), m_stations(std::move(stations))
{
    const QStringList ids = m_listings.channelIds();
    QHash<QString, QString> byName;
    for (const QString& id : ids) {
        for (const QString& name : m_listings.channel(id)->displayNames) {
            const QString key = name.toCaseFolded();
            if (!byName.contains(key))
                byName.insert(key, id);
        }
    }
    QHash<QString, int> numberOf;
    for (const int station : m_stations.stations()) {
        const QString& wanted = *m_stations.channel(station);
        QString id = wanted;
        if (!m_listings.channel(wanted))
            id = byName.value(wanted.toCaseFolded(), wanted);
        m_resolved.insert(station, id);
        if (!numberOf.contains(id))
            numberOf.insert(id, station);
    }

    // The two station files are never a station's name.
    QSet<QByteArray> taken{"programy.tv", "programy_stan.tv"};
    taken.reserve(ids.size() + taken.size());
    // For each name taken, the number its next namesake tries first: every namesake starts
    // where the last one stopped, so any number of equal names costs one pass. A name tried
    // and found taken belongs to this base alone (".N.tv" says whose it is), so no name is
    // passed over twice.
    QHash<QByteArray, int> nextNumber;
    for (const QString& id : ids) {
        const Channel& channel = *m_listings.channel(id);
        QByteArray base = stationNameOf(nameOf(channel));
        if (base.isEmpty())
            base = stationNameOf(id);
        if (base.isEmpty())
            base = "kanal.tv";
        QByteArray name = base;
        if (taken.contains(name)) {
            int& n = nextNumber[base];
            n = std::max(n, 2);
            do
                name = base.chopped(3) + '.' + QByteArray::number(n++) + ".tv";
            while (taken.contains(name));
        }
        taken.insert(name);

        const auto number = numberOf.constFind(id);
        const QByteArray path = number != numberOf.cend()
                                    ? "/program.html?T%5Bstation%5D=" + QByteArray::number(*number)
                                    : "/program.html?T%5Bchannel%5D=" + percentEncoded(id);
        m_stationList.append(Station{id, name, path});
    }
}

const QString* Catalogue::channelOfStation(int station) const
{
    const auto it = m_resolved.constFind(station);
    return it == m_resolved.cend() ? nullptr : &*it;
}
