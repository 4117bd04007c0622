// Runs the editor benchmarks headless and prints, after Google Benchmark's table, the figures
// against their budgets. Resident memory is measured in fresh processes (this program run again
// with --rss KIND), so that the benchmarks' own allocations do not count.
#include "bench.h"

#include <QApplication>
#include <QProcess>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Keeps the wall and CPU time of every run, in milliseconds, beside the console table. The
// show benchmarks time by hand; their CPU time is their counter cpu_ms, since Google Benchmark's
// own CPU time would include closing the window.
class CapturingReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal.
    CapturingReporter()
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular)
    {
    }

    struct Times {
        double wall = -1;
        double cpu = -1;
    };
    std::map<std::string, Times> times;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const double toMs = 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
            Times& t = times[run.benchmark_name()];
            t.wall = run.GetAdjustedRealTime() * toMs;
            const auto counter = run.counters.find("cpu_ms");
            t.cpu = counter != run.counters.end() ? double(counter->second)
                                                  : run.GetAdjustedCPUTime() * toMs;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The times of the run whose name begins with prefix; negative when it did not run.
    Times find(const std::string& prefix) const
    {
        for (const auto& [name, value] : times) {
            if (name.rfind(prefix, 0) == 0)
                return value;
        }
        return {};
    }
};

// Builds and shows one window of a kind: "editor32", "editor64", "bare" or "none" (no window);
// the window lives as long as the returned holder.
std::shared_ptr<void> showWindow(const char* kind)
{
    if (std::strcmp(kind, "editor32") == 0 || std::strcmp(kind, "editor64") == 0) {
        auto editor = std::make_shared<bench::Editor>(std::strcmp(kind, "editor32") == 0 ? 32 : 64);
        bench::showAndWait(*editor->window);
        return editor;
    }
    if (std::strcmp(kind, "bare") == 0) {
        std::shared_ptr<QMainWindow> bare = bench::makeBareWindow();
        bench::showAndWait(*bare);
        return bare;
    }
    if (std::strcmp(kind, "none") == 0)
        return std::make_shared<int>(0);
    std::fprintf(stderr, "unknown window kind %s\n", kind);
    return nullptr;
}

// --rss KIND: show one window and print this process's resident set in kB.
int probeMemory(const char* kind)
{
    const std::shared_ptr<void> window = showWindow(kind);
    if (!window)
        return 2;
    std::printf("%ld\n", bench::residentKb());
    return 0;
}

// --repeat KIND N: build, show and destroy a window N times; for a profiler
// (valgrind --tool=callgrind), which then sees the steady cost rather than the first one.
int repeatShow(const char* kind, int times)
{
    for (int i = 0; i < times; ++i) {
        if (!showWindow(kind))
            return 2;
        QCoreApplication::processEvents();
    }
    return 0;
}

// The median resident set of three fresh processes of that kind, in kB.
long residentOf(const QString& kind)
{
    std::vector<long> kb;
    for (int i = 0; i < 3; ++i) {
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(), { QStringLiteral("--rss"), kind });
        if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
            return 0;
        kb.push_back(QString::fromLatin1(probe.readAllStandardOutput()).trimmed().toLong());
    }
    std::sort(kb.begin(), kb.end());
    return kb[1];
}

// A budget is met when both the wall time and the CPU time of the benchmark thread are within
// it; on a machine shared with other work the wall time alone can miss through waiting.
const char* verdict(double wall, double cpu, double budget)
{
    if (wall < 0 || cpu < 0)
        return "not measured";
    if (wall < budget && cpu < budget)
        return "met";
    return cpu < budget ? "met in CPU time, missed in wall time" : "MISSED";
}

void printTime(const char* what, CapturingReporter::Times t, double scale, const char* unit)
{
    std::printf(
        "  %-34s %9.1f %s wall %9.1f %s CPU", what, t.wall * scale, unit, t.cpu * scale, unit);
}

void printSummary(const CapturingReporter& reporter)
{
    const auto edit32 = reporter.find("BM_ColumnEdit/32");
    const auto edit64 = reporter.find("BM_ColumnEdit/64");
    const auto rebuild64 = reporter.find("BM_RebuildLine/64");
    const auto paste32 = reporter.find("BM_Paste32/32");
    const auto paste64 = reporter.find("BM_Paste32/64");
    const auto undo64 = reporter.find("BM_UndoRangeChange/64");
    const auto show32 = reporter.find("BM_EditorShow/32");
    const auto show64 = reporter.find("BM_EditorShow/64");
    const auto bare = reporter.find("BM_BareWindowShow");

    std::printf("\nSummary\n");
    printTime("column edit, 32 columns", edit32, 1e3, "us");
    std::printf("\n");
    printTime("column edit, 64 columns", edit64, 1e3, "us");
    std::printf("   budget < 100 us: %s\n", verdict(edit64.wall, edit64.cpu, 0.1));
    printTime("line rebuild UpdateRAWtext(-1), 64", rebuild64, 1e3, "us");
    std::printf("\n");
    printTime("paste of 32 notes, 32 columns", paste32, 1e3, "us");
    std::printf("   budget < 2000 us: %s\n", verdict(paste32.wall, paste32.cpu, 2));
    printTime("paste of 32 notes, 64 columns", paste64, 1e3, "us");
    std::printf("   budget < 2000 us: %s\n", verdict(paste64.wall, paste64.cpu, 2));
    printTime("undo or redo of a range, 64", undo64, 1e3, "us");
    std::printf("   budget < 1000 us: %s\n", verdict(undo64.wall, undo64.cpu, 1));
    printTime("bare window created and shown", bare, 1, "ms");
    std::printf("\n");
    if (bare.wall > 0 && bare.cpu > 0) {
        printTime("editor created and shown, 32", show32, 1, "ms");
        std::printf(
            "   %.1fx / %.1fx the bare window\n", show32.wall / bare.wall, show32.cpu / bare.cpu);
        printTime("editor created and shown, 64", show64, 1, "ms");
        std::printf("   %.1fx / %.1fx the bare window; budget < 4x: %s\n", show64.wall / bare.wall,
            show64.cpu / bare.cpu, verdict(show64.wall / bare.wall, show64.cpu / bare.cpu, 4));
    }

    const long none = residentOf(QStringLiteral("none"));
    const long bareKb = residentOf(QStringLiteral("bare"));
    const long editorKb = residentOf(QStringLiteral("editor64"));
    std::printf("  %-34s %9.1f MB\n", "resident memory, no window", none / 1024.0);
    std::printf("  %-34s %9.1f MB\n", "resident memory, bare window", bareKb / 1024.0);
    if (bareKb > 0 && editorKb > 0) {
        const double ratio = double(editorKb) / double(bareKb);
        std::printf("  %-34s %9.1f MB   %.2fx the bare window; budget < 1.5x: %s\n",
            "resident memory, editor at 64", editorKb / 1024.0, ratio,
            ratio < 1.5 ? "met" : "MISSED");
    }
}

} // namespace

// The offscreen platform says for every fixed-size window that it cannot pass size hints on;
// that says nothing about the program.
QtMessageHandler previousHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(quietHandler);
    QApplication application(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--rss") == 0)
        return probeMemory(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--repeat") == 0)
        return repeatShow(argv[2], std::atoi(argv[3]));

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(reporter);
    return 0;
}
