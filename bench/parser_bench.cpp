// How fast a listings page is read: the line for what is on air now from a 256 KB page whose
// marker is near the end, as the portal's longest pages have it; every programme row of it, and
// the row after the one on air. Pages made to be slow (title links without "</a>", times
// without links) at two sizes show the row reading stays linear.
//
// Build in Release in a directory of its own and run:
//   cmake -S . -B /tmp/parserbench -G Ninja -DCMAKE_BUILD_TYPE=Release
//   cmake --build /tmp/parserbench --target bench_parser && /tmp/parserbench/bench/bench_parser

#include "update/listingsparser.h"
#include "update/pagetext.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

constexpr qsizetype kPageSize = 256 * 1024;

// Programme rows with CR LF breaks up to kPageSize, the row on air now about 2 KB before the
// end. Each row has its time 73 characters before its image name, as the portal lays it out.
QByteArray crLfPage()
{
    QByteArray page = "<html>\r\n<head><title>Program TV</title></head>\r\n<body>\r\n<table>\r\n";
    const QByteArray imgStart = "<img alt=\"\" width=\"16\" height=\"16\" src=\"";
    const QByteArray timeToImage =
        QByteArray("</td>\r\n<td class=\"ikona\">").leftJustified(68 - imgStart.size(), ' ') +
        imgStart;
    int row = 0;
    const auto addRow = [&](const char* img) {
        const QByteArray time = QByteArray::number(10 + row / 60 % 14) + ":" +
                                QByteArray::number(row % 60).rightJustified(2, '0');
        page += "<tr><td class=\"godz\">" + time + timeToImage + img +
                "\"></td>\r\n<td><a href=\"javascript:okno(" + QByteArray::number(row) +
                ")\">Program numer " + QByteArray::number(row) + "</a></td></tr>\r\n";
        ++row;
    };
    while (page.size() < kPageSize - 2048)
        addRow("pusty.gif");
    addRow("trwa.gif");
    while (page.size() < kPageSize - 32)
        addRow("pusty.gif");
    page += "</table>\r\n</body>\r\n</html>\r\n";
    return page;
}

QByteArray lfPage()
{
    QByteArray page = crLfPage();
    return page.replace("\r\n", "\n");
}

void runNowPlayingLine(benchmark::State& state, const QByteArray& page)
{
    const QByteArray station = "stacja.tv";
    for (auto _ : state) {
        QByteArray title;
        QByteArray line = nowPlayingLine(normalizeLineBreaks(page), station, &title);
        benchmark::DoNotOptimize(line);
        benchmark::DoNotOptimize(title);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
    state.SetLabel(nowPlayingLine(normalizeLineBreaks(page), station).toStdString());
}

void BM_NowPlayingLine(benchmark::State& state)
{
    runNowPlayingLine(state, crLfPage());
}
BENCHMARK(BM_NowPlayingLine);

void BM_NowPlayingLine_LfBreaks(benchmark::State& state)
{
    runNowPlayingLine(state, lfPage());
}
BENCHMARK(BM_NowPlayingLine_LfBreaks);

void BM_PageProgrammes(benchmark::State& state)
{
    const QByteArray page = crLfPage();
    for (auto _ : state) {
        QList<PageProgramme> rows = pageProgrammes(page);
        benchmark::DoNotOptimize(rows);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
    state.SetLabel(std::to_string(pageProgrammes(page).size()) + " rows");
}
BENCHMARK(BM_PageProgrammes);

void BM_NextProgramme(benchmark::State& state)
{
    const QByteArray page = crLfPage();
    for (auto _ : state) {
        std::optional<PageProgramme> next = nextProgramme(page);
        benchmark::DoNotOptimize(next);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_NextProgramme);

// range(0) KB of title links that never close, or of times without a link before the last.
void BM_PageProgrammes_Unclosed(benchmark::State& state)
{
    QByteArray page = "trwa.gif";
    while (page.size() < state.range(0) * 1024)
        page += "<a href=\"javascript:okno(1)\">x";
    for (auto _ : state) {
        QList<PageProgramme> rows = pageProgrammes(page);
        benchmark::DoNotOptimize(rows);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_PageProgrammes_Unclosed)->Arg(256)->Arg(512);

void BM_PageProgrammes_TimesOnly(benchmark::State& state)
{
    QByteArray page;
    while (page.size() < state.range(0) * 1024)
        page += "1:2:3:4:5:";
    page += "<a href=\"javascript:okno(1)\">x</a>";
    for (auto _ : state) {
        QList<PageProgramme> rows = pageProgrammes(page);
        benchmark::DoNotOptimize(rows);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}
BENCHMARK(BM_PageProgrammes_TimesOnly)->Arg(256)->Arg(512);

void runParseListingsPage(benchmark::State& state, const QByteArray& page)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("stacja.tv");
    QFile file(path);
    if (!dir.isValid() || !file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) {
        state.SkipWithError("cannot write the page file");
        return;
    }
    file.close();

    ListingsParser parser;
    for (auto _ : state) {
        std::optional<QByteArray> line = parser.ParseListingsPage(path);
        if (!line) {
            state.SkipWithError("cannot read the page file");
            return;
        }
        benchmark::DoNotOptimize(line);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
}

void BM_ParseListingsPage(benchmark::State& state)
{
    runParseListingsPage(state, crLfPage());
}
BENCHMARK(BM_ParseListingsPage);

void BM_ParseListingsPage_LfBreaks(benchmark::State& state)
{
    runParseListingsPage(state, lfPage());
}
BENCHMARK(BM_ParseListingsPage_LfBreaks);

} // namespace
