#pragma once

// Libraries below FluidSynth (ALSA's, the instrument-patch library) print on stderr by
// themselves: while a driver starts or a SoundFont loads, stderr goes to /dev/null.
namespace standin {

class QuietStderr {
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved = -1;
};

} // namespace standin
