#pragma once

#include "audiodriver.h"
#include "drivermessages.h"
#include "exitcodes.h"
#include "performance.h"

#include <filesystem>
#include <memory>
#include <string>

// The stand-in host's sound: a General MIDI synthesiser (FluidSynth) that plays a performance
// live on an audio driver or renders it into a WAV file. FluidSynth's own messages never reach
// the console; the last error it reported becomes part of the failure message.
//
// A large SoundFont (FluidR3_GM's 148 MB, say) is loaded a drum kit at a time: only the samples
// of the kits that are played are read into memory, each before its first note (prepareKit).
// A small one is loaded whole, as FluidSynth 2.3 reads past the end of the samples of a
// SoundFont without the zero samples that should follow each of them when it loads them one at
// a time (TimGM6mb's hi-hats click).
namespace standin {

inline constexpr int kSampleRate = 44100;
inline constexpr double kTailSeconds = 1.0; // rendered after the performance's end
inline constexpr long long kWholeSoundFontBytes = 32LL << 20; // larger ones: a kit at a time

// The SoundFont to load: the given file, else the first of the system's General MIDI SoundFonts
// that exists. Empty, with error set, when there is none.
std::string findSoundFont(const std::string& given, std::string& error);

class Synthesiser {
public:
    // drivers: the audio drivers that live playing may start.
    explicit Synthesiser(std::shared_ptr<AudioDrivers> drivers = systemAudioDrivers());
    ~Synthesiser();
    Synthesiser(const Synthesiser&) = delete;
    Synthesiser& operator=(const Synthesiser&) = delete;

    SoundResult loadSoundFont(const std::string& file, std::string& error);
    // Has the samples of the drum kit (the program on the drum channel; the standard kit when
    // the SoundFont has no such kit) in memory before its first note. Events queued live and
    // performances see to their own kits; a player that knows its kit early calls it itself.
    void prepareKit(int program);

    // Writes the performance and its tail as a 44,100 Hz 16-bit stereo WAV file: into a
    // temporary file beside it, renamed into place when complete.
    SoundResult renderWav(
        const Performance& performance, const std::filesystem::path& file, std::string& error);

    // Starts playing the performance on the audio driver (empty: PulseAudio, else FluidSynth's
    // default). The name of the driver that plays goes into driverUsed.
    SoundResult startLive(const Performance& performance, const std::string& driver,
        std::string& driverUsed, std::string& error);
    // Whether everything started live (tail included) has been handed to the audio driver.
    bool liveFinished() const;
    // The samples handed to the audio driver so far, from the start of the live performance.
    unsigned liveSamples() const;
    // Ends the live performance at once.
    void stopLive();

    // For a player that feeds the performance while it plays (the practice window): the audio
    // driver's buffer, set before startLive (periods of 512 frames; fewer answer sooner); events
    // queued to sound at a sample of the live clock (liveSamples) plus their time; and every
    // queued event dropped and every sound silenced, the driver still running.
    void setDriverPeriods(int periods);
    void queueLive(const std::vector<MidiEvent>& events, long long atSample);
    void silenceLive();

    // A player that outlives its audio drivers (the practice window plays on when the sound
    // server goes, and takes a new driver when one starts): a fresh live clock with nothing
    // queued; a driver started on any thread (openOutput, which waits up to 2 seconds for each
    // driver it tries: the given one, else the default ones in turn; null, with the causes as
    // startLive gives them, and each driver's in failures); and that driver taken into use on the
    // player's thread (useOutput; the one before is closed, and one that hangs is left to end by
    // itself, never again touching the synthesiser; null closes it).
    class Output;
    void resetLive();
    std::shared_ptr<Output> openOutput(const std::string& driver, std::string& driverUsed,
        std::string& error, std::vector<DriverFailure>* failures = nullptr);
    void useOutput(std::shared_ptr<Output> output);
    bool hasOutput() const;
    // Seconds since the audio driver in use last asked for sound.
    double outputQuietSeconds() const;
    // When the live clock passes the sample (a sample of liveSamples' clock), the moment is kept
    // (CLOCK_BOOTTIME seconds, the block's): the first note made. -1 until then.
    void watchLiveSample(long long sample);
    double watchedSampleMadeAt() const;

    struct Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace standin
