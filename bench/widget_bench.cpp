// What a change of the desktop widget costs: the clock is set anew (once a second while the
// program runs), which repaints the clock and cuts the widget's shape again from its picture.
// Measured with the mask (no compositing manager) and translucent, at the screen's pixel ratio
// (QT_SCALE_FACTOR=2 for a high-density screen). Run with QT_QPA_PLATFORM=offscreen.

#include "display/form2.h"
#include "widgets/look.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

void clockTick(benchmark::State& state)
{
    Form2 widget;
    widget.setComposited(state.range(0) != 0);
    QList<QByteArray> lines;
    for (int i = 0; i < 4; ++i)
        lines << "stacja" + QByteArray::number(i) +
                     ".tv : 20:00 - Wiadomo\x9c"
                     "ci";
    widget.publish(lines);
    QCoreApplication::processEvents();
    int second = 0;
    for (auto _ : state) {
        widget.setClock(
            QStringLiteral("20 : %1 | Wednesday").arg(second++ % 60, 2, 10, QLatin1Char('0')));
        QCoreApplication::processEvents(); // the repaint
    }
    state.SetLabel(QStringLiteral("ratio %1").arg(widget.devicePixelRatioF()).toStdString());
}
BENCHMARK(clockTick)->ArgName("composited")->Arg(0)->Arg(1);

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    installFontFallbacks();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
