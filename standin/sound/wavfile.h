#pragma once

#include "outputtarget.h"

#include <filesystem>
#include <string>

// A 16-bit stereo WAV file, written under a temporary name beside its target and renamed into
// place by commit(): the target never names a half-written file. A writer that is not committed
// removes its temporary file.
namespace standin {

class WavWriter {
public:
    WavWriter(std::filesystem::path target, int sampleRate, unsigned frames);

    // Each returns false, with error naming the target and the system's reason, on failure.
    bool open(std::string& error);
    bool write(const float* left, const float* right, unsigned frames, std::string& error);
    bool finish(std::string& error) { return file.finish(error); } // complete, not yet in place
    bool commit(std::string& error) { return file.commit(error); }

private:
    OutputFile file;
    int sampleRate;
    unsigned frames;
};

} // namespace standin
