#include "wavfile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace standin {

namespace {

    void putLe(std::string& bytes, std::uint32_t value, int size)
    {
        for (int i = 0; i < size; ++i)
            bytes.push_back(char((value >> (8 * i)) & 0xff));
    }

    std::string header(int sampleRate, std::uint32_t frames)
    {
        const std::uint32_t dataBytes = frames * 4;
        std::string h = "RIFF";
        putLe(h, 36 + dataBytes, 4);
        h += "WAVEfmt ";
        putLe(h, 16, 4);
        putLe(h, 1, 2); // PCM
        putLe(h, 2, 2); // stereo
        putLe(h, std::uint32_t(sampleRate), 4);
        putLe(h, std::uint32_t(sampleRate) * 4, 4); // bytes per second
        putLe(h, 4, 2); // bytes per frame
        putLe(h, 16, 2);
        h += "data";
        putLe(h, dataBytes, 4);
        return h;
    }

    void putSample(char* at, float value)
    {
        const auto sample
            = std::uint16_t(std::int16_t(std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f)));
        at[0] = char(sample & 0xff);
        at[1] = char(sample >> 8);
    }

} // namespace

WavWriter::WavWriter(std::filesystem::path target, int sampleRate, unsigned frames)
    : file(std::move(target))
    , sampleRate(sampleRate)
    , frames(frames)
{
}

bool WavWriter::open(std::string& error)
{
    return file.open(error) && file.write(header(sampleRate, frames), error);
}

bool WavWriter::write(const float* left, const float* right, unsigned count, std::string& error)
{
    std::vector<char> bytes(std::size_t(count) * 4);
    for (unsigned i = 0; i < count; ++i) {
        putSample(&bytes[4 * i], left[i]);
        putSample(&bytes[4 * i + 2], right[i]);
    }
    return file.write({ bytes.data(), bytes.size() }, error);
}

} // namespace standin
