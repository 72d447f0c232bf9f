#include "portal/listings.h"
#include "portal/programtext.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr qint64 kDay = 24 * 3600 * 1000;

// The instant with the same local time of day `days` local days later. A time that does not
// exist on that day, as the clocks skip it, comes out as the instant they go on (03:00 for
// 02:40 when they skip from 02:00 to 03:00): so times keep their order, what would start or
// end in the skipped hour starts or ends then, and what lies wholly in it takes no time.
// skipped, when given, is set when the time is one of those.
qint64 moveByDays(qint64 instant, int days, bool* skipped = nullptr)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(instant).toLocalTime();
    const QDate day = local.date().addDays(days);
    const QDateTime moved(day, local.time(), Qt::LocalTime);
    if (skipped)
        *skipped = !moved.isValid();
    if (moved.isValid())
        return moved.toMSecsSinceEpoch();
    // Clocks are changed at a whole minute: a minute after the last minute before the gap.
    for (QTime before(local.time().hour(), local.time().minute()); before != QTime(0, 0);) {
        before = before.addSecs(-60);
        const QDateTime valid(day, before, Qt::LocalTime);
        if (valid.isValid())
            return valid.toMSecsSinceEpoch() + 60 * 1000;
    }
    // Skipped from midnight on.
    return day.startOfDay().toMSecsSinceEpoch();
}

// The programme moved, or none when it lies wholly in an hour the clocks skip on that day: it
// would never be on air there.
std::optional<Programme> movedBy(const Programme& programme, int days)
{
    Programme result = programme;
    bool startSkipped = false;
    bool stopSkipped = false;
    result.start = moveByDays(programme.start, days, &startSkipped);
    if (programme.stop) {
        result.stop = moveByDays(*programme.stop, days, &stopSkipped);
        if (*result.stop <= result.start) {
            if ((startSkipped || stopSkipped) && *programme.stop > programme.start)
                return std::nullopt;
            // Moved from the hour that comes twice on a day of 25 hours, which other days have
            // once, or listed as taking no time: it keeps its length.
            result.stop = result.start + (*programme.stop - programme.start);
        }
    }
    return result;
}

void sortByStart(QList<Programme>& programmes)
{
    std::stable_sort(programmes.begin(), programmes.end(),
                     [](const Programme& a, const Programme& b) { return a.start < b.start; });
}

} // namespace

void Listings::addChannel(const QString& id, const QByteArray& name,
                          const QStringList& displayNames)
{
    auto it = m_channels.find(id);
    if (it == m_channels.end()) {
        it = m_channels.insert(id, Channel{});
        it->id = id;
        m_order.append(id);
    }
    it->name = name;
    it->displayNames = displayNames;
}

void Listings::addProgramme(const QString& channelId, const Programme& programme)
{
    auto it = m_channels.find(channelId);
    if (it == m_channels.end()) {
        // Named by its id, written the way every text on a page is.
        addChannel(channelId, programText(channelId));
        it = m_channels.find(channelId);
    }
    it->programmes.append(programme);
}

void Listings::addFrom(const Listings& later)
{
    for (const QString& id : later.m_order) {
        const Channel& theirs = *later.channel(id);
        auto it = m_channels.find(id);
        if (it == m_channels.end()) {
            m_channels.insert(id, theirs);
            m_order.append(id);
        } else if (it->programmes.isEmpty()) {
            it->programmes = theirs.programmes;
        }
    }
}

void Listings::finish()
{
    for (Channel& channel : m_channels) {
        QList<Programme>& programmes = channel.programmes;
        sortByStart(programmes);
        for (qsizetype i = 0; i + 1 < programmes.size(); ++i) {
            if (!programmes[i].stop)
                programmes[i].stop = programmes[i + 1].start;
        }
    }
}

void Listings::moveToDay(const QDate& day)
{
    qint64 first = std::numeric_limits<qint64>::max();
    qint64 last = std::numeric_limits<qint64>::min();
    for (const Channel& channel : std::as_const(m_channels)) {
        for (const Programme& p : channel.programmes) {
            first = std::min(first, p.start);
            last = std::max(last, p.stop.value_or(p.start));
        }
    }
    if (first > last)
        return;

    const QDate firstDay = QDateTime::fromMSecsSinceEpoch(first).toLocalTime().date();
    const int shift = static_cast<int>(firstDay.daysTo(day));
    // A day of listings is 23 to 25 hours long around summer-time changes.
    const int period =
        std::max(1, static_cast<int>(std::lround(double(last - first) / double(kDay))));

    for (Channel& channel : m_channels) {
        QList<Programme> moved;
        moved.reserve(channel.programmes.size() * 3);
        for (const int copy : {-1, 0, 1}) {
            for (const Programme& p : std::as_const(channel.programmes)) {
                if (std::optional<Programme> m = movedBy(p, shift + copy * period))
                    moved.append(*m);
            }
        }
        sortByStart(moved);
        channel.programmes = moved;
    }
}

const Channel* Listings::channel(const QString& id) const
{
    const auto it = m_channels.constFind(id);
    return it == m_channels.cend() ? nullptr : &*it;
}

QStringList Listings::channelIds() const
{
    return m_order;
}

qsizetype Listings::programmeCount() const
{
    qsizetype count = 0;
    for (const Channel& channel : m_channels)
        count += channel.programmes.size();
    return count;
}
