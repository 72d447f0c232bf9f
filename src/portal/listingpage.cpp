#include "portal/listingpage.h"

#include "portal/programtext.h"

#include <algorithm>
#include <string_view>

namespace {

using namespace std::string_view_literals;

// The page is written for ekranik's reading of it, which counts characters back from the
// on-air marker. A row is one line:
//
//   <tr><td class="godz">HH:MM[hit image]</td>[gap]<td class="teraz">[marker image]</td>
//   <td class="tytul"><a href="javascript:okno(ID)">TITLE</a></td></tr>
//
// The marker image's name is the last thing of the cell before it; on the on-air row the
// time (or the end of the hit image tag) is a fixed number of characters before it, as the
// static_asserts below check. Everything a row holds before the time may vary.
constexpr std::string_view kRowStart = "<tr><td class=\"godz\">"sv;
constexpr std::string_view kOnAirRowStart = "<tr class=\"nadaje\"><td class=\"godz\">"sv;
constexpr std::string_view kHitImage =
    "  <img width=\"16\" height=\"16\" alt=\"[HIT]\" title=\"Polecamy\" src=\"hit.gif\">"sv;
constexpr std::string_view kTimeEnd = "</td>"sv;
// A hit row's cell after the time ends 2 characters nearer the marker than a plain row's, as
// the hit mark f"></ is 2 characters shorter than the time and "</td>" together.
constexpr std::string_view kHitGap = "  "sv;
constexpr std::string_view kMarkerCellStart = "<td class=\"teraz\">"sv;
constexpr std::string_view kMarkerImageStart =
    "<img width=\"16\" height=\"16\" alt=\"Teraz\" src=\""sv;
constexpr std::string_view kMarker = "trwa.gif"sv;
constexpr std::string_view kMarkerImageEnd = "\">"sv;
constexpr std::string_view kMarkerCellEnd = "</td>"sv;
constexpr std::string_view kTitleStart = "<td class=\"tytul\"><a href=\"javascript:okno("sv;
constexpr std::string_view kTitleMiddle = ")\">"sv;
constexpr std::string_view kTitleEnd = "</a></td></tr>\r\n"sv;

constexpr std::size_t kTimeLength = 5; // HH:MM
// How ekranik finds the time: 73 characters before the marker; on a hit row it finds the hit
// mark there and takes the time 148 characters before the marker.
constexpr std::size_t kTimeBeforeMarker = 73;
constexpr std::size_t kHitTimeBeforeMarker = 148;
constexpr std::string_view kHitMark = "f\"></"sv;

// From the end of the time cell (or the hit image) to the marker.
constexpr std::size_t kAfterTime =
    kTimeEnd.size() + kMarkerCellStart.size() + kMarkerImageStart.size();
static_assert(kTimeLength + kAfterTime == kTimeBeforeMarker,
              "on a plain row the time must stand 73 characters before the marker");
static_assert(kHitImage.ends_with("f\">"sv) && kTimeEnd.starts_with("</"sv),
              "the hit image tag and the end of its cell must form the hit mark");
static_assert(kHitMark.size() - 2 + kAfterTime + kHitGap.size() == kTimeBeforeMarker,
              "on a hit row the hit mark must stand 73 characters before the marker");
static_assert(kTimeLength + kHitImage.size() + kAfterTime + kHitGap.size() == kHitTimeBeforeMarker,
              "on a hit row the time must stand 148 characters before the marker");

void appendText(QByteArray& page, std::string_view text)
{
    page.append(text.data(), static_cast<qsizetype>(text.size()));
}

void appendTwoDigits(QByteArray& page, int n)
{
    page.append(static_cast<char>('0' + n / 10));
    page.append(static_cast<char>('0' + n % 10));
}

// "HH:MM" in local time. When summer time ends, the hour from 02:00 comes twice: two programmes
// of the day can then show the same "HH:MM" (02:30 summer time and 02:30 winter time), and a
// row an earlier time than the row above it. Both rows stay, as they are two broadcasts, and
// stay in order of start: ekranik finds the one on air by its mark, not by its time, and a
// reader of every row takes each row's time at the first instant not before the row above.
void appendLocalTime(QByteArray& page, qint64 instant)
{
    const QTime time = QDateTime::fromMSecsSinceEpoch(instant).toLocalTime().time();
    appendTwoDigits(page, time.hour());
    page.append(':');
    appendTwoDigits(page, time.minute());
}

void appendDate(QByteArray& page, const QDate& date)
{
    appendTwoDigits(page, date.day());
    page.append('.');
    appendTwoDigits(page, date.month());
    page.append('.');
    page.append(QByteArray::number(date.year()));
}

void appendHead(QByteArray& page, const QByteArray& title)
{
    page += "<html>\r\n"
            "<head>\r\n"
            "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-2\">\r\n"
            "<title>";
    page += title;
    page += "</title>\r\n"
            "<style>\r\n"
            "body { font-family: sans-serif; }\r\n"
            "td.godz { width: 7em; }\r\n"
            "tr.nadaje { font-weight: bold; background: #ffe9a8; }\r\n"
            "</style>\r\n"
            "</head>\r\n"
            "<body>\r\n";
}

void appendRow(QByteArray& page, const Programme& programme, bool onAir)
{
    appendText(page, onAir ? kOnAirRowStart : kRowStart);
    appendLocalTime(page, programme.start);
    if (programme.hit)
        appendText(page, kHitImage);
    appendText(page, kTimeEnd);
    if (programme.hit)
        appendText(page, kHitGap);
    appendText(page, kMarkerCellStart);
    if (onAir) {
        appendText(page, kMarkerImageStart);
        appendText(page, kMarker);
        appendText(page, kMarkerImageEnd);
    }
    appendText(page, kMarkerCellEnd);
    appendText(page, kTitleStart);
    page += QByteArray::number(programme.id);
    appendText(page, kTitleMiddle);
    page += programme.title;
    appendText(page, kTitleEnd);
}

} // namespace

QByteArray listingPage(const Channel& channel, const QDateTime& now, PageWindow* window)
{
    const QDate day = now.toLocalTime().date();
    const qint64 dayStart = day.startOfDay().toMSecsSinceEpoch();
    const qint64 dayEnd = day.addDays(1).startOfDay().toMSecsSinceEpoch();
    const qint64 nowInstant = now.toMSecsSinceEpoch();

    const QList<Programme>& programmes = channel.programmes;
    const auto startsBefore = [](const Programme& p, qint64 instant) { return p.start < instant; };
    auto first = std::lower_bound(programmes.cbegin(), programmes.cend(), dayStart, startsBefore);
    const auto last = std::lower_bound(first, programmes.cend(), dayEnd, startsBefore);
    // The programme running at midnight belongs to the day too.
    if (first != programmes.cbegin()) {
        const Programme& before = *(first - 1);
        if (before.stop && *before.stop > dayStart)
            --first;
    }

    // The latest started of the programmes running now. What runs changes only at a start or
    // a stop of one of the day's programmes: the page stays the same between the last such
    // instant and the next.
    auto onAir = last;
    PageWindow same{dayStart, dayEnd};
    const auto seeInstant = [&same, nowInstant](qint64 instant) {
        if (instant <= nowInstant)
            same.from = std::max(same.from, instant);
        else
            same.until = std::min(same.until, instant);
    };
    for (auto it = first; it != last; ++it) {
        if (it->start <= nowInstant && it->stop && nowInstant < *it->stop)
            onAir = it;
        seeInstant(it->start);
        if (it->stop)
            seeInstant(*it->stop);
    }
    if (window)
        *window = same;

    static const QByteArray kTitle = programText(QStringLiteral("Program TV:"));
    static const QByteArray kDayHeading = programText(QStringLiteral("Program na dzień"));
    static const QByteArray kNoListings =
        programText(QStringLiteral("Brak programu na ten dzień."));

    QByteArray date;
    appendDate(date, day);
    QByteArray page;
    page.reserve(1200 + (last - first) * 200);
    appendHead(page, kTitle + ' ' + channel.name + ", " + date);
    page += "<h1>" + channel.name + "</h1>\r\n";
    page += "<p>" + kDayHeading + ' ' + date + "</p>\r\n";
    if (first == last) {
        page += "<p>" + kNoListings + "</p>\r\n";
    } else {
        page += "<table class=\"program\">\r\n";
        for (auto it = first; it != last; ++it)
            appendRow(page, *it, it == onAir);
        page += "</table>\r\n";
    }
    page += "</body>\r\n</html>\r\n";
    return page;
}

QByteArray errorPage(int status, const QString& reason)
{
    const QByteArray title = QByteArray::number(status) + ' ' + programText(reason);
    QByteArray page;
    appendHead(page, title);
    page += "<h1>" + title + "</h1>\r\n</body>\r\n</html>\r\n";
    return page;
}
