#pragma once

#include <filesystem>
#include <string>

// A 16-bit stereo WAV file, written under a temporary name beside its target and renamed into
// place by commit(): the target never names a half-written file. A writer that is not committed
// removes its temporary file.
namespace standin {

class WavWriter {
public:
    WavWriter(std::filesystem::path target, int sampleRate, unsigned frames);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Each returns false, with error naming the target and the system's reason, on failure.
    bool open(std::string& error);
    bool write(const float* left, const float* right, unsigned frames, std::string& error);
    bool commit(std::string& error);

private:
    bool fail(int code, std::string& error);

    std::filesystem::path target;
    int sampleRate;
    unsigned frames;
    std::string temporary;
    int fd = -1;
};

} // namespace standin
