// What one update tick costs the running program: the real engine, publisher and desktop widget,
// wired as the assembler wires them, the 13 default stations checked, each tick fetching one
// station's page from a listings portal and repainting the widget (and cutting its mask) as the
// event loop would before the next tick. Time depends on the machine; instructions do not, so
// bench/tick-cost.sh runs this under callgrind, whose counters are zeroed before the measured
// ticks and dumped after them: start-up and the first pass over the stations are left out.
//
// Run: bench_tick HOST:PORT [TICKS]   (QT_QPA_PLATFORM=offscreen, or on an X server)

#include "display/form2.h"
#include "display/publisher.h"
#include "net/httpfetch.h"
#include "stations/defaultstations.h"
#include "text/linerole.h"
#include "tray/trayicon.h"
#include "update/updateengine.h"
#include "widgets/look.h"

#include <QApplication>
#include <QDir>
#include <QStandardItemModel>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

namespace {

// A few hundred ticks give a steady figure: every station is fetched many times over, and the
// clock's minute turns now and then, as at the 2 s rate.
constexpr int kDefaultTicks = 280;

// The default station list, its addresses moved to the portal at `host`.
QList<QByteArray> stationsAt(const QByteArray& host)
{
    QList<QByteArray> entries = defaultStations();
    for (QByteArray& entry : entries) {
        const qsizetype start = entry.indexOf("://") + 3;
        const qsizetype end = entry.indexOf('/', start);
        entry.replace(start, end - start, host);
    }
    return entries;
}

// What the event loop does between two ticks: the paints the tick asked for, and whatever they
// post in turn.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    installFontFallbacks();
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_tick HOST:PORT [TICKS] [next]\n");
        return 2;
    }
    const QByteArray host = argv[1];
    const int ticks = argc > 2 ? std::atoi(argv[2]) : kDefaultTicks;
    // "next": the widget shows the next programme under each line, and the tray tip all of it.
    const bool next = argc > 3 && std::strcmp(argv[3], "next") == 0;

    QTemporaryDir folder; // the pages are saved in the working folder
    QDir::setCurrent(folder.path());
    QStandardItemModel stations;
    for (const QByteArray& entry : stationsAt(host)) {
        auto* item = new QStandardItem;
        item->setData(entry, kLineRole);
        item->setCheckState(Qt::Checked);
        stations.appendRow(item);
    }

    HttpFetch downloader;
    UpdateEngine engine(&stations, &downloader);
    WidgetLook look;
    look.next = next;
    Form2 widget(look);
    TrayIcon tray(nullptr);
    Publisher publisher(&widget, &tray);
    publisher.setShowsNext(next);
    // What the assembler connects between these three.
    QObject::connect(&engine, &UpdateEngine::downloadProgress, &widget,
                     &Form2::showDownloadProgress);
    QObject::connect(&engine, &UpdateEngine::clockChanged, &widget, &Form2::setClock);
    QObject::connect(&engine, &UpdateEngine::cleared, &widget, &Form2::showUpdating);
    QObject::connect(&engine, &UpdateEngine::publishable, &publisher, &Publisher::publish);
    int failed = 0;
    int published = 0;
    int reports = 0;
    QObject::connect(engine.downloader(), &HttpFetch::OnError, [&failed] { ++failed; });
    QObject::connect(&engine, &UpdateEngine::publishable, [&published] { ++published; });
    QObject::connect(&engine, &UpdateEngine::downloadProgress, [&reports] { ++reports; });
    engine.activate();

    // The first pass fetches every station once and ends the hot start; from then on each tick
    // is one of the steady state.
    const int pass = static_cast<int>(stations.rowCount()) + 1;
    for (int i = 0; i < pass; ++i) {
        engine.Timer1Timer();
        settle();
    }
    const qint64 fetchedBefore = engine.statistics().successfulUpdates();
    published = 0;
    reports = 0;

    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < ticks; ++i) {
        engine.Timer1Timer();
        settle();
    }
    CALLGRIND_DUMP_STATS_AT("ticks");

    const qint64 fetched = engine.statistics().successfulUpdates() - fetchedBefore;
    std::printf("ticks %d, pages fetched %lld, failed %d, progress reports %d, published %d\n",
                ticks, static_cast<long long>(fetched), failed, reports, published);
    // A tick that fetched nothing costs next to nothing: a wrong address must not pass for a
    // cheap tick.
    return failed == 0 && fetched > 0 && published > 0 ? 0 : 1;
}
