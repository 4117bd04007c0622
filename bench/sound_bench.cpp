// Benchmarks of the stand-in host's sound: rendering a performance into a WAV file with either
// SoundFont (loaded once, outside the timing) and the time from nothing to ready to sound
// (synthesiser made, TimGM6mb.sf2 loaded, audio driver started). Run by bench/run.sh after the
// editor's.
#include "defaultheader.h"
#include "performance.h"
#include "script.h"
#include "synth.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

const char* const kTimGM = "/usr/share/sounds/sf2/TimGM6mb.sf2";
const char* const kStartUpLine
    = "48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55";

// The start-up pattern with the default header (three repeats, each 10 per minute faster).
standin::Performance startUpPerformance()
{
    const std::string text = std::string(kDefaultHeaderText) + "\r\nRAW [new-rud]=" + kStartUpLine
        + "\r\n[new-rud]\r\n";
    standin::Script script;
    standin::Performance performance;
    std::string error;
    if (!standin::parseScript(text, script, error)
        || !standin::buildPerformance(script, true, performance, error)) {
        std::fprintf(stderr, "sound_bench: %s\n", error.c_str());
        std::exit(1);
    }
    return performance;
}

double processorSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

void Render(benchmark::State& state, const char* soundFont)
{
    const standin::Performance performance = startUpPerformance();
    standin::Synthesiser synth;
    std::string error;
    if (synth.loadSoundFont(soundFont, error) != standin::SoundResult::Ok) {
        state.SkipWithError(error.c_str());
        return;
    }
    const auto file = std::filesystem::temp_directory_path()
        / ("rudimix-bench-" + std::to_string(::getpid()) + ".wav");
    const double cpuStart = processorSeconds();
    for (auto _ : state) {
        if (synth.renderWav(performance, file, error) != standin::SoundResult::Ok) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    std::filesystem::remove(file);
    // Seconds of sound made per second of wall time: the speed against real time.
    state.counters["x_realtime"] = benchmark::Counter(
        (performance.endSeconds + standin::kTailSeconds) * double(state.iterations()),
        benchmark::Counter::kIsRate);
    state.counters["sound_s"] = performance.endSeconds + standin::kTailSeconds;
    // The same against the processor time of the whole process: what a busy machine hides.
    state.counters["x_realtime_cpu"] = (performance.endSeconds + standin::kTailSeconds)
        * double(state.iterations()) / (processorSeconds() - cpuStart);
}
// TimGM6mb is loaded whole; FluidR3_GM (148 MB) a drum kit at a time, with its kits alone.
BENCHMARK_CAPTURE(Render, TimGM6mb, kTimGM)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Render, FluidR3_GM, "/usr/share/sounds/sf2/FluidR3_GM.sf2")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Ready to sound on the "file" driver (real-time paced, into /dev/null; no sound server needed),
// or on the driver named by RUDIMIX_BENCH_DRIVER (e.g. pulseaudio under a null sink).
void ReadyToSound(benchmark::State& state)
{
    const standin::Performance performance = startUpPerformance();
    const char* chosen = std::getenv("RUDIMIX_BENCH_DRIVER");
    const std::string driver = chosen && *chosen ? chosen : "file";
    for (auto _ : state) {
        auto synth = std::make_unique<standin::Synthesiser>();
        std::string error;
        std::string used;
        if (synth->loadSoundFont(kTimGM, error) != standin::SoundResult::Ok
            || synth->startLive(performance, driver, used, error) != standin::SoundResult::Ok) {
            state.SkipWithError(error.c_str());
            break;
        }
        state.PauseTiming();
        synth.reset(); // closing down is not part of the start
        state.ResumeTiming();
    }
    state.SetLabel(driver);
}
BENCHMARK(ReadyToSound)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace

BENCHMARK_MAIN();
