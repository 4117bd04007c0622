// Benchmarks of the stand-in host's sheet of a 500-note script (sixteenths, triplets, flams,
// accents and two voices in 4/4): building the model, writing its MusicXML, and the whole
// TAMBRIX.EXE --sheet run as a process (start, reading, writing the file beside its target and
// renaming it into place). Run by bench/run.sh.
#include "musicxml.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string script500()
{
    const char* const tokens[] = { "48X>A+C", "44>C", "46>B+C", "34>C", "38>A+C", "35>C", "35>B+C",
        "65>C", "65", "17>C", "42>A", "25>D" };
    std::string line;
    for (int i = 0; i < 500; ++i)
        line += std::string(i ? "," : "") + tokens[i % 12];
    return "SET TRACKVOICES(1)=38,36,42,46,50,45\r\nSET TIMESIG=4/4;SET TEMPO=96;SET REPEATS=4\r\n"
           "' STICKING [new-rud]=R,L,R,R,L,R,L,L\r\nRAW [new-rud]="
        + line + "\r\n[new-rud]\r\n";
}

standin::Script parsed()
{
    standin::Script script;
    std::string error;
    if (!standin::parseScript(script500(), script, error)) {
        std::fprintf(stderr, "sheet_bench: %s\n", error.c_str());
        std::exit(1);
    }
    return script;
}

void BuildSheet500(benchmark::State& state)
{
    const standin::Script script = parsed();
    std::string error;
    for (auto _ : state) {
        standin::sheet::Sheet sheet;
        benchmark::DoNotOptimize(standin::sheet::buildSheet(script, false, sheet, error));
    }
}
BENCHMARK(BuildSheet500)->Unit(benchmark::kMillisecond);

void MusicXml500(benchmark::State& state)
{
    const standin::Script script = parsed();
    standin::sheet::Sheet sheet;
    std::string error;
    standin::sheet::buildSheet(script, false, sheet, error);
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string xml = standin::sheet::musicXml(sheet);
        bytes = xml.size();
        benchmark::DoNotOptimize(xml.data());
    }
    state.counters["bytes"] = double(bytes);
    state.counters["measures"] = double(sheet.measures.size());
}
BENCHMARK(MusicXml500)->Unit(benchmark::kMillisecond);

// TAMBRIX.EXE --sheet FILE SCRIPT, as a user runs it: the wall time to its exit, for FILE.musicxml,
// FILE.pdf and FILE.svg (the staff drawn on the offscreen platform).
const char* const kFormats[] = { ".musicxml", ".pdf", ".svg" };

void SheetCommand500(benchmark::State& state)
{
    state.SetLabel(kFormats[state.range(0)]);
    const std::filesystem::path folder
        = std::filesystem::temp_directory_path() / ("sheet_bench." + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string script = (folder / "n500.drum").string();
    const std::string sheet = (folder / ("n500" + std::string(kFormats[state.range(0)]))).string();
    std::ofstream(script, std::ios::binary) << script500();
    std::string exe = TAMBRIX_EXE, option = "--sheet";
    char* argv[] = { exe.data(), option.data(), const_cast<char*>(sheet.c_str()),
        const_cast<char*>(script.c_str()), nullptr };
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (::posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ) != 0
            || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status)) {
            state.SkipWithError("TAMBRIX.EXE --sheet failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    state.counters["bytes"] = double(std::filesystem::file_size(sheet));
    std::filesystem::remove_all(folder);
}
BENCHMARK(SheetCommand500)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
