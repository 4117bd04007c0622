// The editor window's benchmarks: column edits, the rebuild of the line, a paste, undo and redo,
// and the window's creation and first show beside a bare main window.
#include "bench.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QStringList>
#include <QTest>
#include <QUndoStack>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <deque>
#include <fstream>
#include <string>

namespace bench {

Editor::Editor(int maxNotes)
{
    module.giMaxNotes = std::int16_t(maxNotes);
    window = std::make_unique<frmRudimix>(module);
}

Editor::~Editor() = default;

std::unique_ptr<QMainWindow> makeBareWindow()
{
    auto window = std::make_unique<QMainWindow>();
    window->menuBar()->addMenu(QStringLiteral("&File"))->addAction(QStringLiteral("E&xit"));
    window->setCentralWidget(new QLineEdit(window.get()));
    window->resize(539, 406);
    return window;
}

void showAndWait(QWidget& window)
{
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    QCoreApplication::processEvents();
}

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

} // namespace bench

namespace {

using bench::Editor;

// A line of count notes; variant 0 and 1 differ in every note, so that a paste changes every
// column.
QString patternLine(int count, int variant)
{
    static const char* const notes[2][4] = {
        { "48X", "45", "65>B+D", "C3X>A+C" },
        { "39>C", "F2X", "17", "A9>A+B+E" },
    };
    QStringList tokens;
    for (int i = 0; i < count; ++i)
        tokens << QString::fromLatin1(notes[variant][i % 4]);
    return tokens.join(u',');
}

// Puts every column of the editor in use, as the "number of notes" command does.
void useAllColumns(frmRudimix& window)
{
    window.SetNumberOfNotes(std::int16_t(window.columnCount()));
}

// One column edit: a volume scroll bar moved, which rewrites the column's token in the line and
// its description on the column's check boxes.
void BM_ColumnEdit(benchmark::State& state)
{
    Editor editor(int(state.range(0)));
    frmRudimix& w = *editor.window;
    useAllColumns(w);
    bench::showAndWait(w);
    const int columns = w.columnCount();
    const QString before = w.txtRAW->text();
    w.VertVolume(columns - 1)->setValue(w.VertVolume(columns - 1)->value() == 2 ? 3 : 2);
    if (w.txtRAW->text() == before) {
        state.SkipWithError("moving a volume scroll bar did not change the line");
        return;
    }
    int column = 0;
    int round = 0;
    for (auto _ : state) {
        w.VertVolume(column)->setValue(round % 2 == 0 ? 2 : 3);
        if (++column == columns) {
            column = 0;
            ++round;
        }
    }
    state.counters["columns"] = columns;
    // Every edit above was recorded as a step of the history.
    if (w.undoStack->count() == 0)
        state.SkipWithError("the column edits were not recorded in the history");
}
BENCHMARK(BM_ColumnEdit)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

// The rebuild of the whole line from every column (UpdateRAWtext(-1)).
void BM_RebuildLine(benchmark::State& state)
{
    Editor editor(int(state.range(0)));
    frmRudimix& w = *editor.window;
    useAllColumns(w);
    bench::showAndWait(w);
    for (auto _ : state)
        w.UpdateRAWtext(-1);
    state.counters["notes"] = w.fiNumNotes;
}
BENCHMARK(BM_RebuildLine)->Arg(64)->Unit(benchmark::kMicrosecond);

// A paste of a 32-note line through the Paste command: the reader fills the columns, then the
// number of notes is set, which rebuilds the line and the descriptions. Two lines alternate, so
// that every column changes.
void BM_Paste32(benchmark::State& state)
{
    Editor editor(int(state.range(0)));
    frmRudimix& w = *editor.window;
    bench::showAndWait(w);
    const QString lines[2] = { patternLine(32, 0), patternLine(32, 1) };
    std::deque<QString>& answers = editor.fakes.dialogs.inputAnswers;
    int variant = 0;
    for (auto _ : state) {
        answers.push_back(lines[variant]);
        w.mnuPaste_Click();
        variant ^= 1;
    }
    if (w.fiNumNotes != 32 || w.txtRAW->text() != lines[variant ^ 1]
        || !editor.fakes.dialogs.boxes.empty())
        state.SkipWithError("the paste did not load the line");
}
BENCHMARK(BM_Paste32)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

// Undo, then redo, of one range change over every column (a crescendo from volume 1 to 9, as
// the range editor's Apply makes it): each iteration is one of the two, in turn.
void BM_UndoRangeChange(benchmark::State& state)
{
    Editor editor(int(state.range(0)));
    frmRudimix& w = *editor.window;
    useAllColumns(w);
    bench::showAndWait(w);
    const int columns = w.columnCount();
    {
        const frmRudimix::PatternStep apply(w);
        for (int i = 0; i < columns; ++i)
            w.VertVolume(i)->setValue(8 - (8 * i) / (columns - 1));
    }
    const QString changed = w.txtRAW->text();
    bool undo = true;
    for (auto _ : state) {
        if (undo)
            w.actUndo->trigger();
        else
            w.actRedo->trigger();
        undo = !undo;
    }
    if (w.undoStack->count() == 0 || (undo && w.txtRAW->text() != changed))
        state.SkipWithError("the range change was not undone and redone");
    state.counters["columns"] = columns;
}
BENCHMARK(BM_UndoRangeChange)->Arg(64)->Unit(benchmark::kMicrosecond);

double threadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Times the creation and first show of a window: the wall time as the benchmark's time, the
// CPU time of this thread as the counter cpu_ms. Closing the window is not timed.
template <typename Make> void timeShow(benchmark::State& state, Make make)
{
    double cpu = 0;
    for (auto _ : state) {
        const double cpuStart = threadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        auto window = make();
        bench::showAndWait(*window);
        const auto end = std::chrono::steady_clock::now();
        cpu += threadCpuSeconds() - cpuStart;
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        window.reset();
        QCoreApplication::processEvents();
    }
    state.counters["cpu_ms"] = benchmark::Counter(cpu * 1e3, benchmark::Counter::kAvgIterations);
}

// The editor window's creation (its load sequence included) and its first show.
void BM_EditorShow(benchmark::State& state)
{
    const int maxNotes = int(state.range(0));
    std::unique_ptr<Editor> editor;
    timeShow(state, [&] {
        editor = std::make_unique<Editor>(maxNotes);
        return std::move(editor->window);
    });
}
BENCHMARK(BM_EditorShow)->Arg(32)->Arg(64)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BareWindowShow(benchmark::State& state)
{
    timeShow(state, bench::makeBareWindow);
}
BENCHMARK(BM_BareWindowShow)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
