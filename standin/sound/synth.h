#pragma once

#include "exitcodes.h"
#include "performance.h"

#include <filesystem>
#include <memory>
#include <string>

// The stand-in host's sound: a General MIDI synthesiser (FluidSynth) that plays a performance
// live on an audio driver or renders it into a WAV file. FluidSynth's own messages never reach
// the console; the last error it reported becomes part of the failure message.
namespace standin {

inline constexpr int kSampleRate = 44100;
inline constexpr double kTailSeconds = 1.0; // rendered after the performance's end

// The SoundFont to load: the given file, else the first of the system's General MIDI SoundFonts
// that exists. Empty, with error set, when there is none.
std::string findSoundFont(const std::string& given, std::string& error);

class Synthesiser {
public:
    Synthesiser();
    ~Synthesiser();
    Synthesiser(const Synthesiser&) = delete;
    Synthesiser& operator=(const Synthesiser&) = delete;

    SoundResult loadSoundFont(const std::string& file, std::string& error);

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

    struct Private;

private:
    std::unique_ptr<Private> d;
};

} // namespace standin
