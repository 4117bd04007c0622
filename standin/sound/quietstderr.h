#pragma once

// Libraries below FluidSynth (ALSA's, the instrument-patch library) print on stderr by
// themselves: while a driver starts or a SoundFont loads, stderr goes to /dev/null. Threads may
// overlap in this: stderr comes back when the last of them is done.
namespace standin {

class QuietStderr {
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;
};

} // namespace standin
