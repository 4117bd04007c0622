#include "performance.h"
#include "script.h"
#include "synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
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
    // Eighth notes at volumes 3, 5, 7 and 9 on the snare, then a flam and one more stroke.
    standin::Script script;
    Performance performance;
    std::string error;
    ASSERT_TRUE(
        standin::parseScript(
            "SET TEMPO=100;SET REPEATS=1\r\nRAW [new-rud]=23,25,27,29,29X,25\r\n[new-rud]\r\n",
            script, error)
        && standin::buildPerformance(script, true, performance, error))
        << error;
    std::vector<double> scheduled;
    for (const MidiEvent& e : performance.events)
        if (e.type == MidiEvent::Type::NoteOn)
            scheduled.push_back(e.seconds);
    ASSERT_EQ(scheduled.size(), 7u);

    standin::Synthesiser synth;
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
    ASSERT_EQ(found.size(), scheduled.size()) << "onsets: " << ::testing::PrintToString(found);
    for (std::size_t i = 0; i < found.size(); ++i)
        EXPECT_NEAR(found[i], scheduled[i], 0.005) << "note " << i;
    EXPECT_NEAR(found[5] - found[4], 0.030, 0.005) << "the flam's two strokes";
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_GT(peakBetween(samples, found[i], found[i] + 0.1),
            1.1f * peakBetween(samples, found[i - 1], found[i - 1] + 0.1))
            << "volume " << 2 * i + 3 << " against " << 2 * i + 1;
}

// A private PulseAudio server with a null sink "rudimix", in its own runtime folder, for as long
// as the object lives; running() is false where none can be started.
struct PulseServer {
    TempDir dir;
    pid_t server = -1;
    std::string socket = (dir.path / "pulse" / "native").string();

    static pid_t spawn(std::vector<std::string> arguments, const std::filesystem::path& output)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (std::string& a : arguments)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            std::FILE* out = std::fopen(output.c_str(), "wb");
            if (out)
                ::dup2(::fileno(out), STDOUT_FILENO);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        return pid;
    }

    static void end(pid_t pid)
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }

    PulseServer()
    {
        for (const char* variable : { "XDG_RUNTIME_DIR", "HOME", "PULSE_RUNTIME_PATH" })
            ::setenv(
                variable, variable[0] == 'P' ? (dir.path / "pulse").c_str() : dir.path.c_str(), 1);
        ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
        server = spawn({ "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                           "--load=module-native-protocol-unix auth-anonymous=1",
                           "--load=module-null-sink sink_name=rudimix", "--log-target=stderr",
                           "--log-level=error" },
            dir.path / "server.log");
        for (int i = 0; i < 100 && !running() && !exited(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~PulseServer() { end(server); }

    bool exited()
    {
        if (server > 0 && ::waitpid(server, nullptr, WNOHANG) == server)
            server = -1;
        return server <= 0;
    }
    bool running() { return !exited() && std::filesystem::exists(socket); }
};

TEST(Synthesiser, PlaysLiveOnASoundServer)
{
    PulseServer pulse;
    if (!pulse.running())
        GTEST_SKIP() << "No PulseAudio server could be started here: live playback not tried.";
    const auto recording = pulse.dir.path / "monitor.raw";
    const pid_t recorder = PulseServer::spawn(
        { "parec", "--device=rudimix.monitor", "--format=s16le", "--rate=44100", "--channels=2" },
        recording);

    Performance performance;
    for (double time : { 0.05, 0.30, 0.55, 0.80 })
        addNote(performance, time, 38, 120);
    std::stable_sort(performance.events.begin(), performance.events.end(),
        [](const MidiEvent& a, const MidiEvent& b) { return a.seconds < b.seconds; });
    standin::Synthesiser synth;
    std::string error;
    std::string driver;
    ASSERT_EQ(synth.loadSoundFont(kTimGM, error), SoundResult::Ok) << error;
    ASSERT_EQ(synth.startLive(performance, "", driver, error), SoundResult::Ok) << error;
    EXPECT_EQ(driver, "pulseaudio");
    const auto started = std::chrono::steady_clock::now();
    while (!synth.liveFinished()
        && std::chrono::steady_clock::now() - started < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // A busy machine's null sink may take its samples at half speed: no real-time check here.
    EXPECT_TRUE(synth.liveFinished()) << "not finished within 10 seconds";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    synth.stopLive();
    PulseServer::end(recorder);

    std::ifstream in(recording, std::ios::binary);
    const std::string raw { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    std::vector<float> left;
    for (std::size_t at = 0; at + 4 <= raw.size(); at += 4)
        left.push_back(
            std::int16_t(std::uint8_t(raw[at]) | (std::uint8_t(raw[at + 1]) << 8)) / 32768.0f);
    ASSERT_GT(left.size(), std::size_t(kSampleRate)) << "the monitor recorded under a second";
    EXPECT_GT(peakBetween(left, 0, left.size() / double(kSampleRate)), 0.05f) << "silence";
    // Every stroke is there (a starved sound server may add breaks, hence no check of spacing).
    EXPECT_GE(onsets(left).size(), 4u) << ::testing::PrintToString(onsets(left));
}

} // namespace
