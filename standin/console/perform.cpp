#include "perform.h"

#include "exitcodes.h"
#include "midifile.h"
#include "midifilewriter.h"
#include "outputtarget.h"
#include "performance.h"
#include "performancelock.h"
#include "sheetfile.h"
#include "stafflayout.h"
#include "stopsignals.h"
#include "synth.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <optional>
#include <sstream>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

    // What the audio driver may still hold when the synthesiser has rendered the last sample.
    constexpr auto kDrainTime = std::chrono::milliseconds(250);
    // An audio device that takes no sound for this long has gone (its server ended, say).
    constexpr auto kStallTime = std::chrono::seconds(2);

    int failure(std::ostream& err, SoundResult result, const std::string& message)
    {
        err << "TAMBRIX.EXE: " << message << "\n";
        return int(result);
    }

    std::string milliseconds(double seconds)
    {
        return std::to_string(std::lround(seconds * 1000)) + " ms";
    }

    double processorSeconds()
    {
        rusage usage {};
        ::getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }

    int playLive(Synthesiser& synth, const Performance& performance, const PlayOptions& options,
        std::ostream& out, std::ostream& err)
    {
        PerformanceLock lock;
        std::string error;
        const SoundResult locked = lock.acquire(error);
        if (locked != SoundResult::Ok)
            return failure(err, locked, error);
        if (stopRequested()) {
            out << "Stopped before it began.\n";
            return Success;
        }
        std::string driver;
        const SoundResult started
            = synth.startLive(performance, options.audioDriver, driver, error);
        if (started != SoundResult::Ok && stopRequested()) {
            out << "Stopped before it began.\n";
            return Success;
        }
        if (started != SoundResult::Ok)
            return failure(err, started, error);
        out << "Playing live through " << driver << " (ready to sound "
            << milliseconds(secondsSinceProcessStart()) << " after the start, "
            << milliseconds(processorSeconds()) << " of processor time).\n";

        using Clock = std::chrono::steady_clock;
        const auto begin = Clock::now();
        Clock::time_point drained {};
        unsigned lastSamples = 0;
        auto lastProgress = begin;
        while (!stopRequested()) {
            const auto now = Clock::now();
            if (drained == Clock::time_point {} && synth.liveFinished())
                drained = now + kDrainTime;
            if (drained != Clock::time_point {} && now >= drained)
                break;
            if (synth.liveSamples() != lastSamples) {
                lastSamples = synth.liveSamples();
                lastProgress = now;
            } else if (drained == Clock::time_point {} && now - lastProgress > kStallTime) {
                synth.stopLive();
                return failure(err, SoundResult::NoAudioDevice,
                    "no audio device: " + driver + " took no sound for two seconds");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        synth.stopLive();
        const double played = std::chrono::duration<double>(Clock::now() - begin).count();
        if (stopRequested())
            out << "Stopped after " << milliseconds(played) << ".\n";
        else
            out << "Played to the end (" << milliseconds(played) << ").\n";
        return Success;
    }

} // namespace

int perform(const Script& script, const std::string& scriptName, const PlayOptions& options,
    std::ostream& out, std::ostream& err)
{
    const bool live = !options.writesFiles();
    if (live)
        catchStopSignals(); // before anything can ask this process to stop

    Performance performance;
    std::string error;
    if (!buildPerformance(script, options.noTimeSignature, performance, error)) {
        err << "TAMBRIX.EXE: " << scriptName << ": " << error << "\n";
        return BadScript;
    }
    for (const std::string& notice : performance.notices)
        out << notice << "\n";
    out << "Performance: " << performance.events.size() << " events, "
        << milliseconds(performance.endSeconds) << "\n";

    // Everything is checked before anything is written: a failing run leaves every file as it was.
    for (const std::string& target : { options.midiFile, options.renderFile, options.sheetFile }) {
        if (!target.empty() && !checkOutputTarget(target, error))
            return failure(err, SoundResult::CannotWriteOutput, error);
    }
    sheet::Sheet sheet;
    if (!options.sheetFile.empty()
        && !sheet::buildSheet(script, options.noTimeSignature, sheet, error)) {
        err << "TAMBRIX.EXE: " << scriptName << ": " << error << "\n";
        return BadScript;
    }
    std::optional<Synthesiser> synth;
    if (live || !options.renderFile.empty()) {
        const std::string soundFont = findSoundFont(options.soundFont, error);
        if (soundFont.empty())
            return failure(err, SoundResult::NoSoundFont, error);
        synth.emplace();
        const SoundResult loaded = synth->loadSoundFont(soundFont, error);
        if (loaded != SoundResult::Ok)
            return failure(err, loaded, error);
        out << "SoundFont " << soundFont << "\n";
    }
    // The MIDI file and the sheet are complete before the WAV file is made, and put in place
    // after it.
    OutputFile midi(options.midiFile);
    if (!options.midiFile.empty() && !writeMidiFile(performance, midi, error))
        return failure(err, SoundResult::CannotWriteOutput, error);
    OutputFile sheetFile(options.sheetFile);
    if (!options.sheetFile.empty() && !writeSheetFile(sheet, sheetFile, error))
        return failure(err, SoundResult::CannotWriteOutput, error);
    if (!options.renderFile.empty()) {
        const SoundResult rendered = synth->renderWav(performance, options.renderFile, error);
        if (rendered != SoundResult::Ok)
            return failure(err, rendered, error);
    }
    if (!options.midiFile.empty()) {
        if (!midi.commit(error))
            return failure(err, SoundResult::CannotWriteOutput, error);
        out << "Wrote the MIDI file " << options.midiFile << "\n";
    }
    if (!options.sheetFile.empty()) {
        if (!sheetFile.commit(error))
            return failure(err, SoundResult::CannotWriteOutput, error);
        out << "Wrote the sheet " << options.sheetFile << " (" << sheet.measures.size()
            << (sheet.measures.size() == 1 ? " measure" : " measures");
        if (drawnSheet(options.sheetFile) && sheet.measures.size() > staff::kMaxDrawnMeasures)
            out << "; its staff shows the first " << staff::kMaxDrawnMeasures;
        out << ")\n";
    }
    if (!options.renderFile.empty()) {
        out << "Wrote the WAV file " << options.renderFile << " ("
            << milliseconds(performance.endSeconds + kTailSeconds) << ")\n";
    }
    if (!live)
        return Success;
    return playLive(*synth, performance, options, out, err);
}

int stopPerformance(std::ostream& out, std::ostream& err)
{
    int process = 0;
    std::string error;
    const SoundResult stopped = PerformanceLock::stopPlaying(process, error);
    if (stopped != SoundResult::Ok)
        return failure(err, stopped, error);
    if (process == 0)
        out << "No performance is playing.\n";
    else
        out << "Stopped the performance of process " << process << ".\n";
    return Success;
}

} // namespace standin
