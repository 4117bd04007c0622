#pragma once

#include <memory>
#include <string>
#include <vector>

// The audio drivers that take the live sound: FluidSynth's, chosen by name, behind an interface
// small enough that a player can be given others (a driver that never starts, say).
namespace standin {

// What an audio driver asks for on a thread of its own: the next frames of both channels.
class SampleSource {
public:
    virtual ~SampleSource() = default;
    virtual void render(float* left, float* right, int frames) = 0;
};

// A running audio driver. Deleting it stops it, which waits for its thread.
class AudioDriver {
public:
    virtual ~AudioDriver() = default;
};

class AudioDrivers {
public:
    virtual ~AudioDrivers() = default;
    // The drivers tried, in order, when the user names none.
    virtual std::vector<std::string> defaultNames() const = 0;
    // Starts the named driver on the source, with that many periods of 512 frames between the
    // synthesiser and the loudspeaker. Null, with the cause in the driver's words, when it does
    // not start. It may take long (a sound server that does not answer): startAudioDriver()
    // bounds it.
    virtual std::unique_ptr<AudioDriver> start(const std::string& name, int periods,
        const std::shared_ptr<SampleSource>& source, std::string& cause)
        = 0;
};

// FluidSynth's drivers (pulseaudio, which PipeWire also serves, then FluidSynth's default, alsa;
// jack, oss, sdl2 by name), and "file": real time into nothing.
std::shared_ptr<AudioDrivers> systemAudioDrivers();

} // namespace standin
