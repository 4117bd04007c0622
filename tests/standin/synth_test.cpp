#include "synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using standin::kSampleRate;
using standin::MidiEvent;
using standin::Performance;
using standin::SoundResult;

const char* const kTimGM = "/usr/share/sounds/sf2/TimGM6mb.sf2";

struct TempDir {
    std::filesystem::path path
        = std::filesystem::temp_directory_path() / ("rudimix-sound-" + std::to_string(::getpid()));
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path); }
};

// The left channel of a 44,100 Hz 16-bit stereo WAV file, as -1 to 1; empty when the file is not
// that format.
std::vector<float> readWav(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string b { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    auto le = [&](std::size_t at, int size) {
        std::uint32_t v = 0;
        for (int i = size - 1; i >= 0; --i)
            v = (v << 8) | std::uint8_t(b[at + i]);
        return v;
    };
    if (b.size() < 44 || b.compare(0, 4, "RIFF") || b.compare(8, 8, "WAVEfmt ") || le(20, 2) != 1
        || le(22, 2) != 2 || le(24, 4) != 44100 || le(34, 2) != 16 || b.compare(36, 4, "data")
        || le(40, 4) != b.size() - 44 || le(4, 4) != b.size() - 8)
        return {};
    std::vector<float> left;
    for (std::size_t at = 44; at + 4 <= b.size(); at += 4)
        left.push_back(std::int16_t(le(at, 2)) / 32768.0f);
    return left;
}

// Onsets: the start of every millisecond whose peak is over 2.5 times the highest peak of the
// 20 ms before it and over 0.5 % of full scale; an onset masks the next 10 ms.
std::vector<double> onsets(const std::vector<float>& samples)
{
    std::vector<float> peaks;
    for (std::size_t ms = 0; (ms + 1) * kSampleRate / 1000 <= samples.size(); ++ms) {
        float peak = 0;
        for (std::size_t i = ms * kSampleRate / 1000; i < (ms + 1) * kSampleRate / 1000; ++i)
            peak = std::max(peak, std::abs(samples[i]));
        peaks.push_back(peak);
    }
    std::vector<double> found;
    for (std::size_t i = 0; i < peaks.size(); ++i) {
        const float before = *std::max_element(
            peaks.begin() + std::max<long>(0, long(i) - 20), peaks.begin() + long(i) + (i == 0));
        if (peaks[i] > 0.005f && peaks[i] > 2.5f * before
            && (found.empty() || i - found.back() > 10))
            found.push_back(double(i));
    }
    for (double& t : found)
        t /= 1000;
    return found;
}

float peakBetween(const std::vector<float>& samples, double from, double to)
{
    float peak = 0;
    for (auto i = std::size_t(from * kSampleRate);
         i < std::min(samples.size(), std::size_t(to * kSampleRate)); ++i)
        peak = std::max(peak, std::abs(samples[i]));
    return peak;
}

void addNote(Performance& p, double seconds, int key, int velocity)
{
    p.events.push_back({ seconds, MidiEvent::Type::NoteOn, standin::kDrumChannel, key, velocity });
    p.events.push_back({ seconds + 0.1, MidiEvent::Type::NoteOff, standin::kDrumChannel, key, 0 });
    p.endSeconds = std::max(p.endSeconds, seconds + 0.1);
}

TEST(Synthesiser, RendersEveryNoteAtItsTimeWithItsLoudness)
{
    // Snare strokes of rising velocity, a bass drum, and a flam: the grace note 30 ms before.
    Performance performance;
    const std::vector<std::pair<double, int>> snares
        = { { 0.05, 28 }, { 0.35, 56 }, { 0.65, 85 }, { 0.95, 113 }, { 1.25, 127 } };
    for (auto [time, velocity] : snares)
        addNote(performance, time, 40, velocity);
    addNote(performance, 1.55, 35, 100);
    addNote(performance, 1.85, 40, 56);
    addNote(performance, 1.88, 40, 113);
    std::stable_sort(performance.events.begin(), performance.events.end(),
        [](const MidiEvent& a, const MidiEvent& b) { return a.seconds < b.seconds; });

    standin::Synthesiser synth;
    std::string error;
    ASSERT_EQ(synth.loadSoundFont(kTimGM, error), SoundResult::Ok) << error;
    TempDir dir;
    const auto wav = dir.path / "pattern.wav";
    ASSERT_EQ(synth.renderWav(performance, wav, error), SoundResult::Ok) << error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1)
        << "a temporary file was left";

    const std::vector<float> samples = readWav(wav);
    ASSERT_FALSE(samples.empty()) << "not a 44,100 Hz 16-bit stereo WAV file";
    EXPECT_NEAR(samples.size() / double(kSampleRate), performance.endSeconds + 1.0, 0.001);

    const std::vector<double> found = onsets(samples);
    std::vector<double> scheduled;
    for (const MidiEvent& e : performance.events)
        if (e.type == MidiEvent::Type::NoteOn)
            scheduled.push_back(e.seconds);
    ASSERT_EQ(found.size(), scheduled.size()) << "onsets: " << ::testing::PrintToString(found);
    for (std::size_t i = 0; i < found.size(); ++i)
        EXPECT_NEAR(found[i], scheduled[i], 0.005) << "note " << i;
    EXPECT_NEAR(found[7] - found[6], 0.030, 0.005) << "the flam's two strokes";

    for (std::size_t i = 1; i < snares.size(); ++i)
        EXPECT_GT(peakBetween(samples, snares[i].first, snares[i].first + 0.1),
            1.1f * peakBetween(samples, snares[i - 1].first, snares[i - 1].first + 0.1))
            << "velocity " << snares[i].second;
}

} // namespace
