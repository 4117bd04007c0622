#pragma once

#include <string>
#include <vector>

// Why no sound is heard, in words a user can act on: the causes that FluidSynth and the sound
// libraries give for each audio driver turned into one line for the practice window.
namespace standin {

struct DriverFailure {
    std::string driver; // "pulseaudio", "alsa", ...
    std::string cause; // as the driver gave it ("... failed with error: Connection refused")
};

// The cause given when a driver in use stops asking for sound.
inline constexpr const char* kStoppedTakingSound = "stopped taking sound";

// "No sound: the PulseAudio server refused the connection (is it running?); ALSA's default
// device could not be opened."
std::string noSoundMessage(const std::vector<DriverFailure>& failures);

} // namespace standin
