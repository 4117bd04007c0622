#include "synth.h"

#include "driverstart.h"
#include "fluidmessages.h"
#include "quietstderr.h"
#include "stopsignals.h"
#include "wavfile.h"

#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace standin {

namespace {

    const char* const kSystemSoundFonts[]
        = { "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2" };

    // FluidSynth's default gain, 0.2, leaves a drum kit faint (a full stroke peaks near -20 dBFS
    // with TimGM6mb); this brings it near -10 dBFS, still clear of clipping for three voices.
    constexpr double kGain = 0.6;

    unsigned sampleOf(double seconds)
    {
        return unsigned(std::llround(std::max(0.0, seconds) * kSampleRate));
    }

} // namespace

struct Synthesiser::Private {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_sequencer_t* sequencer = nullptr;
    fluid_audio_driver_t* driver = nullptr;
    unsigned startTick = 0;
    unsigned endTick = 0;
    std::string defaultDriver; // FluidSynth's
    bool startGivenUp = false; // a driver's start still runs: the synthesiser stays to the end

    void dropSequencer()
    {
        if (sequencer)
            delete_fluid_sequencer(sequencer);
        sequencer = nullptr;
    }

    void reset()
    {
        fluid_synth_all_sounds_off(synth, -1);
        fluid_synth_system_reset(synth);
    }

    void apply(const MidiEvent& e)
    {
        switch (e.type) {
        case MidiEvent::Type::NoteOn:
            fluid_synth_noteon(synth, e.channel, e.key, e.velocity);
            break;
        case MidiEvent::Type::NoteOff:
            fluid_synth_noteoff(synth, e.channel, e.key);
            break;
        case MidiEvent::Type::ProgramChange:
            fluid_synth_program_change(synth, e.channel, e.key);
            break;
        case MidiEvent::Type::Tempo:
            break; // the times are in seconds already
        }
    }

    // Makes event the sequencer's form of e; false for a tempo change, which has none (the times
    // are in seconds already).
    static bool setEvent(fluid_event_t* event, fluid_seq_id_t destination, const MidiEvent& e)
    {
        fluid_event_set_source(event, -1);
        fluid_event_set_dest(event, destination);
        switch (e.type) {
        case MidiEvent::Type::NoteOn:
            fluid_event_noteon(event, e.channel, short(e.key), short(e.velocity));
            return true;
        case MidiEvent::Type::NoteOff:
            fluid_event_noteoff(event, e.channel, short(e.key));
            return true;
        case MidiEvent::Type::ProgramChange:
            fluid_event_program_change(event, e.channel, e.key);
            return true;
        case MidiEvent::Type::Tempo:
            break;
        }
        return false;
    }

    // Queues every event of the performance on a fresh sequencer that counts the synthesiser's
    // samples (for live playing, where the audio driver asks for the samples).
    void schedule(const Performance& performance)
    {
        dropSequencer();
        reset();
        sequencer = new_fluid_sequencer2(0);
        const fluid_seq_id_t destination = fluid_sequencer_register_fluidsynth(sequencer, synth);
        fluid_sequencer_set_time_scale(sequencer, kSampleRate);
        startTick = fluid_sequencer_get_tick(sequencer);
        endTick = startTick + sampleOf(performance.endSeconds + kTailSeconds);
        fluid_event_t* event = new_fluid_event();
        for (const MidiEvent& e : performance.events)
            if (setEvent(event, destination, e))
                fluid_sequencer_send_at(sequencer, event, startTick + sampleOf(e.seconds), 1);
        delete_fluid_event(event);
    }
};

std::string findSoundFont(const std::string& given, std::string& error)
{
    std::error_code ec;
    if (!given.empty()) {
        if (std::filesystem::exists(given, ec))
            return given;
        error = "no SoundFont: " + given + " does not exist";
        return {};
    }
    for (const char* file : kSystemSoundFonts)
        if (std::filesystem::exists(file, ec))
            return file;
    error = std::string("no SoundFont: neither ") + kSystemSoundFonts[0] + " nor "
        + kSystemSoundFonts[1] + " exists (install timgm6mb-soundfont or give --soundfont FILE)";
    return {};
}

Synthesiser::Synthesiser()
    : d(std::make_unique<Private>())
{
    silenceFluidSynth();
    d->settings = new_fluid_settings();
    fluid_settings_setnum(d->settings, "synth.sample-rate", kSampleRate);
    fluid_settings_setint(d->settings, "synth.lock-memory", 0);
    fluid_settings_setnum(d->settings, "synth.gain", kGain);
    // 8 periods of 512 frames: about 90 ms between the synthesiser and the loudspeaker, enough
    // for a busy machine (FluidSynth's 16 of 64 frames break up under load).
    fluid_settings_setint(d->settings, "audio.period-size", 512);
    fluid_settings_setint(d->settings, "audio.periods", 8);
    fluid_settings_setstr(d->settings, "audio.file.name", "/dev/null");
    fluid_settings_setstr(d->settings, "audio.file.type", "raw");
    char* fallback = nullptr;
    if (fluid_settings_dupstr(d->settings, "audio.driver", &fallback) == FLUID_OK && fallback) {
        d->defaultDriver = fallback;
        fluid_free(fallback);
    }
    d->synth = new_fluid_synth(d->settings);
}

Synthesiser::~Synthesiser()
{
    stopLive();
    if (d->startGivenUp)
        return; // a driver's start may still use them; the process ends soon
    d->dropSequencer();
    if (d->synth)
        delete_fluid_synth(d->synth);
    delete_fluid_settings(d->settings);
}

SoundResult Synthesiser::loadSoundFont(const std::string& file, std::string& error)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        error = "no SoundFont: " + file + " is not a file";
        return SoundResult::NoSoundFont;
    }
    if (!d->synth) {
        error = "cannot start the synthesiser: " + takeFluidError();
        return SoundResult::BadSoundFont;
    }
    takeFluidError();
    int loaded = FLUID_FAILED;
    {
        QuietStderr quiet; // the instrument-patch library's own complaints about a broken file
        loaded = fluid_synth_sfload(d->synth, file.c_str(), 1);
    }
    if (loaded == FLUID_FAILED) {
        // FluidSynth says only that it failed: whether the file could be read at all is ours.
        std::FILE* readable = std::fopen(file.c_str(), "rb");
        const std::string cause = readable ? "not a SoundFont that FluidSynth can load"
                                           : std::string(std::strerror(errno));
        if (readable)
            std::fclose(readable);
        error = "cannot read the SoundFont " + file + ": " + cause;
        return SoundResult::BadSoundFont;
    }
    return SoundResult::Ok;
}

SoundResult Synthesiser::renderWav(
    const Performance& performance, const std::filesystem::path& file, std::string& error)
{
    const unsigned frames = sampleOf(performance.endSeconds + kTailSeconds);
    WavWriter wav(file, kSampleRate, frames);
    if (!wav.open(error))
        return SoundResult::CannotWriteOutput;
    // Each event is given to the synthesiser when the samples before it have been made: it
    // sounds from the next block of 64 samples, at most 1.5 ms after its time.
    d->reset();
    constexpr unsigned kBlock = 4096;
    std::array<float, kBlock> left {};
    std::array<float, kBlock> right {};
    std::size_t next = 0;
    for (unsigned done = 0; done < frames;) {
        while (
            next < performance.events.size() && sampleOf(performance.events[next].seconds) <= done)
            d->apply(performance.events[next++]);
        unsigned count = std::min(kBlock, frames - done);
        if (next < performance.events.size())
            count = std::min(count, sampleOf(performance.events[next].seconds) - done);
        fluid_synth_write_float(d->synth, int(count), left.data(), 0, 1, right.data(), 0, 1);
        if (!wav.write(left.data(), right.data(), count, error))
            return SoundResult::CannotWriteOutput;
        done += count;
    }
    d->reset();
    return wav.commit(error) ? SoundResult::Ok : SoundResult::CannotWriteOutput;
}

SoundResult Synthesiser::startLive(const Performance& performance, const std::string& driver,
    std::string& driverUsed, std::string& error)
{
    stopLive();
    d->schedule(performance);
    std::vector<std::string> candidates;
    if (!driver.empty()) {
        candidates.push_back(driver);
    } else {
        candidates.push_back("pulseaudio");
        if (!d->defaultDriver.empty() && d->defaultDriver != candidates[0])
            candidates.push_back(d->defaultDriver);
    }
    std::string causes;
    for (const std::string& name : candidates) {
        if (fluid_settings_setstr(d->settings, "audio.driver", name.c_str()) != FLUID_OK) {
            causes += (causes.empty() ? "" : "; ") + name + ": no such audio driver";
            continue;
        }
        takeFluidError();
        std::string cause;
        d->driver = startAudioDriver(d->settings, d->synth, cause, d->startGivenUp);
        if (d->driver) {
            driverUsed = name;
            return SoundResult::Ok;
        }
        causes += (causes.empty() ? "" : "; ") + name + ": " + cause;
        if (stopRequested())
            break;
    }
    d->dropSequencer();
    error = "no audio device (" + causes + ")";
    return SoundResult::NoAudioDevice;
}

bool Synthesiser::liveFinished() const
{
    if (!d->driver || !d->sequencer)
        return true;
    return fluid_sequencer_get_tick(d->sequencer) - d->startTick >= d->endTick - d->startTick;
}

unsigned Synthesiser::liveSamples() const
{
    return d->sequencer ? fluid_sequencer_get_tick(d->sequencer) - d->startTick : 0;
}

void Synthesiser::stopLive()
{
    if (d->driver) {
        delete_fluid_audio_driver(d->driver);
        d->driver = nullptr;
    }
}

} // namespace standin

namespace standin {

void Synthesiser::setDriverPeriods(int periods)
{
    fluid_settings_setint(d->settings, "audio.periods", periods);
}

void Synthesiser::queueLive(const std::vector<MidiEvent>& events, long long atSample)
{
    if (!d->sequencer)
        return;
    // The events were ordered by their times; the sequencer keeps that order for equal times.
    const fluid_seq_id_t destination = fluid_sequencer_get_client_id(d->sequencer, 0);
    fluid_event_t* event = new_fluid_event();
    for (const MidiEvent& e : events) {
        if (!Private::setEvent(event, destination, e))
            continue;
        const long long at = atSample + (long long)(sampleOf(e.seconds));
        fluid_sequencer_send_at(d->sequencer, event, d->startTick + unsigned(std::max(0LL, at)), 1);
    }
    delete_fluid_event(event);
}

void Synthesiser::silenceLive()
{
    if (d->sequencer)
        fluid_sequencer_remove_events(d->sequencer, -1, -1, -1);
    d->reset(); // the reverb's tail too
}

} // namespace standin
