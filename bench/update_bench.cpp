// The update tick at scale, and the duplicate removal of the now-playing list.
//
// Run: QT_QPA_PLATFORM=offscreen build/bench/bench_update

#include "app/form1.h"
#include "update/duplicatelines.h"
#include "widgets/bytelines.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

namespace {

// One tick over 1,000 checked stations on an offscreen main window: three debug log lines per
// station, written in one batch. The stations' names are not plain file names, so the station
// at the queue position is logged and skipped instead of fetched: the tick alone is measured.
void BM_Tick1000CheckedStations(benchmark::State& state)
{
    QTemporaryDir folder;
    QDir::setCurrent(folder.path());
    Form1 form;
    form.Timer1->stop();
    form.clear->stop();
    form.show();
    QListWidget* list = form.programy;
    list->clear();
    for (int i = 0; i < 1000; ++i) {
        form.AppendStation("skip/" + QByteArray::number(i) + ".tv|http://127.0.0.1:9/x");
        list->item(i)->setCheckState(Qt::Checked);
    }
    for (auto _ : state)
        form.Timer1Timer();
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_Tick1000CheckedStations)->Unit(benchmark::kMicrosecond);

void BM_DuplicateRows1000(benchmark::State& state)
{
    QList<QByteArray> lines;
    for (int i = 0; i < 1000; ++i)
        lines << "station" + QByteArray::number(i % 700) + ".tv : 20:00 - Wiadomości wieczorne";
    for (auto _ : state)
        benchmark::DoNotOptimize(DuplicateRows(lines));
}
BENCHMARK(BM_DuplicateRows1000)->Unit(benchmark::kMicrosecond);

// The same on the list box, as the completion handler does it: read the lines, delete the
// repeated rows.
void BM_RemoveDuplicatesFromList1000(benchmark::State& state)
{
    QListWidget list;
    QList<QByteArray> lines;
    for (int i = 0; i < 1000; ++i)
        lines << "station" + QByteArray::number(i) + ".tv : 20:00 - Wiadomości wieczorne";
    lines << lines.first(); // one repeat, as after a download
    for (auto _ : state) {
        state.PauseTiming();
        SetLines(&list, lines);
        state.ResumeTiming();
        const QList<int> repeats = DuplicateRows(Lines(&list));
        for (auto row = repeats.crbegin(); row != repeats.crend(); ++row)
            delete list.takeItem(*row);
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
