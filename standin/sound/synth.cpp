#include "synth.h"

#include "driverstart.h"
#include "drumkits.h"
#include "fluidmessages.h"
#include "quietstderr.h"
#include "stopsignals.h"
#include "wavfile.h"

#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace standin {

namespace {

    const char* const kSystemSoundFonts[]
        = { "/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2" };

    // FluidSynth's default gain, 0.2, leaves a drum kit faint (a full stroke peaks near -20 dBFS
    // with TimGM6mb); this brings it near -10 dBFS, still clear of clipping for three voices.
    constexpr double kGain = 0.6;
    constexpr int kDrumBank = 128; // the General MIDI drum kits of a SoundFont

    unsigned sampleOf(double seconds)
    {
        return unsigned(std::llround(std::max(0.0, seconds) * kSampleRate));
    }

} // namespace

// What the audio driver asks for, while it is in use: the synthesiser's next samples. Once
// retired it makes silence and never touches the synthesiser again, however long its driver
// goes on.
class LiveSource : public SampleSource {
public:
    explicit LiveSource(Synthesiser::Private* d)
        : d(d)
    {
    }
    void render(float* left, float* right, int frames) override;
    void retire()
    {
        std::lock_guard lock(mMutex);
        d = nullptr;
    }
    double quietSeconds() const
    {
        const long long last = mLastCall.load();
        return last == 0 ? 0 : std::max(0.0, (steadyNanoseconds() - last) / 1e9);
    }
    void started() { mLastCall = steadyNanoseconds(); }

    static long long steadyNanoseconds()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

private:
    std::mutex mMutex;
    Synthesiser::Private* d;
    std::atomic<long long> mLastCall { 0 };
};

class Synthesiser::Output {
public:
    std::shared_ptr<LiveSource> source;
    std::unique_ptr<AudioDriver> driver;

    ~Output()
    {
        source->retire();
        // A driver that has stopped asking for sound may hang in its sound server: it is left
        // to end on a thread of its own.
        if (source->quietSeconds() > 0.5)
            std::thread([driver = std::move(driver)]() mutable { driver.reset(); }).detach();
    }
};

struct Synthesiser::Private {
    std::shared_ptr<AudioDrivers> drivers;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_sequencer_t* sequencer = nullptr;
    std::shared_ptr<Output> output;
    int periods = 8;
    int soundFont = -1;
    bool kitAtATime = false; // the SoundFont's samples are loaded a preset at a time
    bool kitsOnly = false; // SoundFonts are read with their drum kits alone
    std::atomic<bool> loaded { false }; // a driver started meanwhile makes silence until then
    std::set<int> kits; // programs whose samples are held
    unsigned startTick = 0;
    unsigned endTick = 0;
    std::atomic<long long> rendered { 0 }; // frames made live
    std::atomic<long long> watched { -1 }; // of rendered
    std::atomic<double> watchedAt { -1 };

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

    void prepareKit(int program)
    {
        if (!kitAtATime || soundFont < 0 || !kits.insert(program).second)
            return;
        // A kit the SoundFont lacks is played with the standard kit, held from the start.
        fluid_synth_pin_preset(synth, soundFont, kDrumBank, program);
    }

    void prepareKits(const std::vector<MidiEvent>& events)
    {
        for (const MidiEvent& e : events)
            if (e.type == MidiEvent::Type::ProgramChange)
                prepareKit(e.key);
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
        prepareKits(performance.events);
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

void LiveSource::render(float* left, float* right, int frames)
{
    mLastCall = steadyNanoseconds();
    std::lock_guard lock(mMutex);
    if (!d || !d->loaded) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    fluid_synth_write_float(d->synth, frames, left, 0, 1, right, 0, 1);
    const long long made = d->rendered += frames;
    long long watched = d->watched.load();
    if (watched >= 0 && made >= watched && d->watched.compare_exchange_strong(watched, -1)) {
        timespec now {};
        ::clock_gettime(CLOCK_BOOTTIME, &now);
        d->watchedAt = double(now.tv_sec) + now.tv_nsec / 1e9;
    }
}

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

Synthesiser::Synthesiser(std::shared_ptr<AudioDrivers> drivers)
    : d(std::make_unique<Private>())
{
    silenceFluidSynth();
    d->drivers = std::move(drivers);
    d->settings = new_fluid_settings();
    fluid_settings_setnum(d->settings, "synth.sample-rate", kSampleRate);
    fluid_settings_setint(d->settings, "synth.lock-memory", 0);
    fluid_settings_setnum(d->settings, "synth.gain", kGain);
    d->synth = new_fluid_synth(d->settings);
    if (!d->synth)
        return;
    // Every channel a drum channel: a reset gives each the standard kit, never a piano whose
    // samples a SoundFont loaded a kit at a time would have to read.
    for (int channel = 0; channel < 16; ++channel)
        fluid_synth_set_channel_type(d->synth, channel, CHANNEL_TYPE_DRUM);
    fluid_synth_system_reset(d->synth);
}

Synthesiser::~Synthesiser()
{
    stopLive();
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
    const auto size = std::filesystem::file_size(file, ec);
    d->kitAtATime = !ec && (long long)(size) > kWholeSoundFontBytes;
    fluid_settings_setint(d->settings, "synth.dynamic-sample-loading", d->kitAtATime ? 1 : 0);
    if (d->kitAtATime && !d->kitsOnly) {
        readDrumKitsOnly(d->synth, d->settings); // the other presets are never played
        d->kitsOnly = true;
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
    d->soundFont = loaded;
    d->prepareKit(0); // what every channel starts with
    d->loaded = true;
    return SoundResult::Ok;
}

void Synthesiser::prepareKit(int program)
{
    d->prepareKit(program);
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
    d->prepareKits(performance.events);
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
    std::shared_ptr<Output> output = openOutput(driver, driverUsed, error);
    if (!output) {
        d->dropSequencer();
        return SoundResult::NoAudioDevice;
    }
    useOutput(std::move(output));
    return SoundResult::Ok;
}

std::shared_ptr<Synthesiser::Output> Synthesiser::openOutput(const std::string& driver,
    std::string& driverUsed, std::string& error, std::vector<DriverFailure>* failures)
{
    const std::vector<std::string> candidates
        = driver.empty() ? d->drivers->defaultNames() : std::vector<std::string> { driver };
    std::string causes;
    for (const std::string& name : candidates) {
        std::string cause;
        auto source = std::make_shared<LiveSource>(d.get());
        source->started();
        std::unique_ptr<AudioDriver> started
            = startAudioDriver(d->drivers, name, d->periods, source, cause);
        if (started) {
            auto output = std::make_shared<Output>();
            output->source = std::move(source);
            output->driver = std::move(started);
            driverUsed = name;
            return output;
        }
        source->retire(); // a start given up that succeeds later makes nothing but silence
        causes += (causes.empty() ? "" : "; ") + name + ": " + cause;
        if (failures)
            failures->push_back({ name, cause });
        if (stopRequested())
            break;
    }
    error = "no audio device (" + causes + ")";
    return nullptr;
}

void Synthesiser::useOutput(std::shared_ptr<Output> output)
{
    d->output = std::move(output);
}

bool Synthesiser::hasOutput() const
{
    return bool(d->output);
}

double Synthesiser::outputQuietSeconds() const
{
    return d->output ? d->output->source->quietSeconds() : 0;
}

bool Synthesiser::liveFinished() const
{
    if (!d->output || !d->sequencer)
        return true;
    return fluid_sequencer_get_tick(d->sequencer) - d->startTick >= d->endTick - d->startTick;
}

unsigned Synthesiser::liveSamples() const
{
    return d->sequencer ? fluid_sequencer_get_tick(d->sequencer) - d->startTick : 0;
}

void Synthesiser::stopLive()
{
    d->output.reset();
}

void Synthesiser::setDriverPeriods(int periods)
{
    d->periods = periods;
}

void Synthesiser::resetLive()
{
    d->schedule(Performance());
}

void Synthesiser::queueLive(const std::vector<MidiEvent>& events, long long atSample)
{
    if (!d->sequencer)
        return;
    d->prepareKits(events);
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

void Synthesiser::watchLiveSample(long long sample)
{
    d->watchedAt = -1;
    d->watched = d->rendered.load() + (sample - (long long)(liveSamples()));
}

double Synthesiser::watchedSampleMadeAt() const
{
    return d->watchedAt.load();
}

} // namespace standin
