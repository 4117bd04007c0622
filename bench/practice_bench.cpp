// Benchmarks of the stand-in host's practice window: painting the pattern grid and the Staff view
// of a 64-note pattern (with an intro and a transition) at the window's usual size and at full
// screen, the layouts alone, and the schedule's work per 10 ms feed. Run by bench/run.sh.
#include "patterngrid.h"
#include "stafflayout.h"
#include "staffview.h"

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

std::string script64()
{
    const char* const tokens[]
        = { "48X>A+C", "44>C", "46>B+C", "34>C", "28>A+E", "45>D", "16>B", "95>F" };
    std::string line;
    for (int i = 0; i < 64; ++i)
        line += std::string(i ? "," : "") + tokens[i % 8];
    return "SET TIMESIG=4/4;SET INTRO=fill;SET TRANSITION=fill;SET REPEATS=2\r\n"
           "RAW [fill]=45>C,43>C,45>D,43>D\r\nRAW [new-rud]="
        + line + "\r\n[new-rud]\r\n";
}

standin::PracticeSchedule schedule64()
{
    const std::string text = script64();
    standin::Script script;
    standin::PracticeSchedule schedule;
    std::string error;
    if (!standin::parseScript(text, script, error) || !schedule.load(script, false, error)) {
        std::fprintf(stderr, "practice_bench: %s\n", error.c_str());
        std::exit(1);
    }
    return schedule;
}

void PaintGrid64(benchmark::State& state)
{
    const standin::PracticeSchedule schedule = schedule64();
    standin::PatternGrid grid;
    grid.resize(int(state.range(0)), int(state.range(1)));
    grid.setSchedule(&schedule);
    grid.setPosition({ true, standin::SectionKind::Pattern, 0, 100, 700 });
    QImage image(grid.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        grid.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(PaintGrid64)->Args({ 1000, 300 })->Args({ 1920, 1000 })->Unit(benchmark::kMillisecond);

void LayoutGrid64(benchmark::State& state)
{
    const standin::PracticeSchedule schedule = schedule64();
    for (auto _ : state)
        benchmark::DoNotOptimize(standin::layoutGrid(schedule, 1000, 300));
}
BENCHMARK(LayoutGrid64)->Unit(benchmark::kMicrosecond);

standin::sheet::Sheet sheet64()
{
    standin::Script script;
    standin::sheet::Sheet sheet;
    std::string error;
    if (!standin::parseScript(script64(), script, error)
        || !standin::sheet::buildSheet(script, false, sheet, error)) {
        std::fprintf(stderr, "practice_bench: %s\n", error.c_str());
        std::exit(1);
    }
    return sheet;
}

// The Staff view as the window repaints it while playing: the playhead and the note sounding.
void PaintStaff64(benchmark::State& state)
{
    const standin::sheet::Sheet sheet = sheet64();
    standin::StaffView view;
    view.resize(int(state.range(0)), int(state.range(1)));
    view.setSheet(&sheet);
    view.setPosition({ true, standin::SectionKind::Pattern, 0, 100, 700 });
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(PaintStaff64)->Args({ 1000, 300 })->Args({ 1920, 1000 })->Unit(benchmark::kMillisecond);

void LayoutStaff64(benchmark::State& state)
{
    const standin::sheet::Sheet sheet = sheet64();
    for (auto _ : state)
        benchmark::DoNotOptimize(standin::staff::layoutStaff(sheet, 1000));
}
BENCHMARK(LayoutStaff64)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
