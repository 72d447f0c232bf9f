// The update tick at scale, and the duplicate removal of the now-playing list.
//
// Run: build/bench/bench_update (a Release build gives meaningful figures)

#include "app/assembler.h"
#include "net/httpfetch.h"
#include "text/linerole.h"
#include "update/duplicatelines.h"
#include "update/nowplayinglist.h"
#include "update/updateengine.h"
#include "widgets/stationlistbox.h"

#include <QApplication>
#include <QDir>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// One tick over 1,000 checked stations: three debug log lines per station, written in one
// batch. The stations' names are not plain file names, so the station at the queue position
// is logged and skipped instead of fetched: the tick alone is measured.
void BM_Tick1000CheckedStations(benchmark::State& state)
{
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    QStandardItemModel stations;
    for (int i = 0; i < 1000; ++i) {
        auto* item = new QStandardItem;
        item->setData("skip/" + QByteArray::number(i) + ".tv|http://127.0.0.1:9/x", kLineRole);
        item->setCheckState(Qt::Checked);
        stations.appendRow(item);
    }
    HttpFetch downloader;
    UpdateEngine engine(&stations, &downloader);
    engine.activate();
    for (auto _ : state)
        engine.Timer1Timer();
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_Tick1000CheckedStations)->Unit(benchmark::kMicrosecond);

// The same tick on an offscreen main window, whose debug log shows the lines.
void BM_Tick1000CheckedStationsOnTheMainWindow(benchmark::State& state)
{
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    Assembler program(folder.filePath(QStringLiteral("ekranik.conf")));
    program.mainWindow().show();
    auto* list = program.mainWindow().findChild<StationListBox*>(QStringLiteral("programy"));
    list->clear();
    for (int i = 0; i < 1000; ++i) {
        list->appendStation("skip/" + QByteArray::number(i) + ".tv|http://127.0.0.1:9/x");
        list->item(i)->setCheckState(Qt::Checked);
    }
    for (auto _ : state)
        program.engine().Timer1Timer();
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_Tick1000CheckedStationsOnTheMainWindow)->Unit(benchmark::kMicrosecond);

void BM_DuplicateRows1000(benchmark::State& state)
{
    QList<QByteArray> lines;
    for (int i = 0; i < 1000; ++i)
        lines << "station" + QByteArray::number(i % 700) + ".tv : 20:00 - Wiadomości wieczorne";
    for (auto _ : state)
        benchmark::DoNotOptimize(duplicateRows(lines));
}
BENCHMARK(BM_DuplicateRows1000)->Unit(benchmark::kMicrosecond);

// The same on the now-playing list, as the completion handler does it: append the line, then
// remove the repeats.
void BM_RemoveDuplicatesFromList1000(benchmark::State& state)
{
    QList<QByteArray> lines;
    for (int i = 0; i < 1000; ++i)
        lines << "station" + QByteArray::number(i) + ".tv : 20:00 - Wiadomości wieczorne";
    for (auto _ : state) {
        state.PauseTiming();
        NowPlayingList list;
        for (const QByteArray& line : lines)
            list.append(line);
        state.ResumeTiming();
        list.append(lines.first()); // one repeat, as after a download
        list.removeRepeats();
    }
}
BENCHMARK(BM_RemoveDuplicatesFromList1000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
