#pragma once

#include <fluidsynth.h>
#include <string>

// An audio driver's start that cannot hold the host.
namespace standin {

// Starts the audio driver that the settings name on a thread of its own: null, with the cause,
// when it fails, when it has not started within 2 seconds (a sound server that does not answer,
// stopped say, would otherwise hold the host for half a minute or more), or when the host is
// asked to stop meanwhile. givenUp is set when a start was abandoned and still runs: the
// synthesiser and settings must then stay to the end of the process.
fluid_audio_driver_t* startAudioDriver(
    fluid_settings_t* settings, fluid_synth_t* synth, std::string& cause, bool& givenUp);

} // namespace standin
