#include "drivermessages.h"
#include "performance.h"
#include "script.h"
#include "stopsignals.h"
#include "synth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using standin::kSampleRate;
using standin::SoundResult;
namespace fs = std::filesystem;

const char* const kTimGM = "/usr/share/sounds/sf2/TimGM6mb.sf2";

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// The little-endian number of "size" bytes at "at".
std::uint32_t le(const std::string& b, std::size_t at, int size)
{
    return size == 0 ? 0 : std::uint8_t(b[at]) | le(b, at + 1, size - 1) << 8;
}

// The left channel of 16-bit stereo samples from the given byte on, as -1 to 1.
std::vector<float> leftChannel(const std::string& b, std::size_t from)
{
    std::vector<float> left;
    for (std::size_t at = from; at + 4 <= b.size(); at += 4)
        left.push_back(std::int16_t(le(b, at, 2)) / 32768.0f);
    return left;
}

// The highest absolute value of the samples from "from" to before "to".
float peak(const std::vector<float>& samples, std::size_t from, std::size_t to)
{
    float peak = 0;
    for (std::size_t i = from; i < std::min(to, samples.size()); ++i)
        peak = std::max(peak, std::abs(samples[i]));
    return peak;
}

// Onsets: the start of every millisecond whose peak is over 2.5 times the highest peak of the
// 20 ms before it and over 0.5 % of full scale; an onset masks the next 10 ms.
std::vector<double> onsets(const std::vector<float>& samples)
{
    std::vector<float> peaks;
    for (std::size_t ms = 0; (ms + 1) * kSampleRate / 1000 <= samples.size(); ++ms)
        peaks.push_back(peak(samples, ms * kSampleRate / 1000, (ms + 1) * kSampleRate / 1000));
    std::vector<double> found;
    for (std::size_t i = 0; i < peaks.size(); ++i) {
        const float before = *std::max_element(
            peaks.begin() + std::max<long>(0, long(i) - 20), peaks.begin() + long(i) + (i == 0));
        if (peaks[i] > 0.005f && peaks[i] > 2.5f * before
            && (found.empty() || i - found.back() * 1000 > 10))
            found.push_back(i / 1000.0);
    }
    return found;
}

standin::Performance performanceOf(const std::string& pattern)
{
    standin::Script script;
    standin::Performance performance;
    std::string error;
    EXPECT_TRUE(standin::parseScript(
                    "SET TEMPO=100;SET REPEATS=1\r\nRAW [new-rud]=" + pattern + "\r\n[new-rud]\r\n",
                    script, error)
        && standin::buildPerformance(script, true, performance, error))
        << error;
    return performance;
}

// A soundfont loaded; a temporary folder.
struct Synthesiser : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("rudimix-sound-" + std::to_string(::getpid()));
    standin::Synthesiser synth;
    std::string error;
    void SetUp() override
    {
        fs::create_directories(dir);
        ASSERT_EQ(synth.loadSoundFont(kTimGM, error), SoundResult::Ok) << error;
    }
    ~Synthesiser() override { fs::remove_all(dir); }
};

TEST_F(Synthesiser, RendersEveryNoteAtItsTimeWithItsLoudness)
{
    // Eighth notes at volumes 3, 5, 7 and 9 on the snare, then a flam and one more stroke.
    const standin::Performance performance = performanceOf("23,25,27,29,29X,25");
    std::vector<double> scheduled;
    for (const standin::MidiEvent& e : performance.events)
        if (e.type == standin::MidiEvent::Type::NoteOn)
            scheduled.push_back(e.seconds);
    ASSERT_EQ(scheduled.size(), 7u);
    const auto wav = dir / "pattern.wav";
    const mode_t umask = ::umask(027);
    ASSERT_EQ(synth.renderWav(performance, wav, error), SoundResult::Ok) << error;
    ::umask(umask);
    EXPECT_EQ(fs::status(wav).permissions(), fs::perms(0640)) << "the umask applies";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1) << "a temporary file left";

    const std::string b = readFile(wav);
    ASSERT_TRUE(b.size() > 44 && !b.compare(0, 16, "RIFF" + b.substr(4, 4) + "WAVEfmt ")
        && le(b, 4, 4) == b.size() - 8 && le(b, 20, 2) == 1 && le(b, 22, 2) == 2
        && le(b, 24, 4) == 44100 && le(b, 34, 2) == 16 && !b.compare(36, 4, "data")
        && le(b, 40, 4) == b.size() - 44)
        << "not a 44,100 Hz 16-bit stereo WAV file";
    const std::vector<float> samples = leftChannel(b, 44);
    EXPECT_NEAR(samples.size() / double(kSampleRate), performance.endSeconds + 1.0, 0.001);

    const std::vector<double> found = onsets(samples);
    ASSERT_EQ(found.size(), scheduled.size()) << "onsets: " << ::testing::PrintToString(found);
    for (std::size_t i = 0; i < found.size(); ++i)
        EXPECT_NEAR(found[i], scheduled[i], 0.005) << "note " << i;
    EXPECT_NEAR(found[5] - found[4], 0.030, 0.005) << "the flam's two strokes";
    // The peak of the first 100 ms of each of the four first notes grows with the volume.
    auto loudness = [&](std::size_t note) {
        const std::size_t from = std::size_t(found[note] * kSampleRate);
        return peak(samples, from, from + kSampleRate / 10);
    };
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_GT(loudness(i), 1.1f * loudness(i - 1))
            << "volume " << 2 * i + 3 << " against " << 2 * i + 1;
}

// Starts a shell command line, its output into a file, in place of the shell: its process id is
// the command's.
pid_t spawn(const std::string& command, const fs::path& output)
{
    const std::string line = "exec " + command + " > '" + output.string() + "'";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", line.c_str(), nullptr);
        ::_exit(127);
    }
    return pid;
}

// Ends a child process unless it has ended already.
void end(pid_t pid)
{
    if (::waitpid(pid, nullptr, WNOHANG) == 0 && ::kill(pid, SIGTERM) == 0)
        ::waitpid(pid, nullptr, 0);
}

// Under a private PulseAudio server with a null sink, whose monitor is recorded.
TEST_F(Synthesiser, PlaysLiveOnASoundServer)
{
    const std::string socket = (dir / "pulse" / "native").string();
    for (const char* variable : { "XDG_RUNTIME_DIR", "HOME" })
        ::setenv(variable, dir.c_str(), 1);
    ::setenv("PULSE_RUNTIME_PATH", (dir / "pulse").c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    const pid_t server = spawn("pulseaudio --daemonize=no --exit-idle-time=-1 -n "
                               "'--load=module-native-protocol-unix auth-anonymous=1' "
                               "'--load=module-null-sink sink_name=rudimix'",
        dir / "server.log");
    for (int i = 0; i < 100 && !fs::exists(socket) && ::waitpid(server, nullptr, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!fs::exists(socket) || ::waitpid(server, nullptr, WNOHANG) != 0) {
        end(server);
        GTEST_SKIP() << "No PulseAudio server could be started here: live playback not tried.";
    }
    const pid_t recorder = spawn("parec --device=rudimix.monitor --format=s16le --rate=44100 "
                                 "--channels=2",
        dir / "monitor.raw");

    std::string driver;
    ASSERT_EQ(synth.startLive(performanceOf("29,29,29,29"), "", driver, error), SoundResult::Ok)
        << error;
    EXPECT_EQ(driver, "pulseaudio");
    // A busy machine's null sink may take its samples at half speed: no real-time check here.
    for (int i = 0; i < 1000 && !synth.liveFinished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(synth.liveFinished()) << "not finished within 10 seconds";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    synth.stopLive();
    end(recorder);

    // A sound server that does not answer: each start is given up after two seconds, or at once
    // when the host is asked to stop meanwhile.
    ::kill(server, SIGSTOP);
    const standin::Performance performance = performanceOf("29");
    for (const char* cause :
        { "pulseaudio: did not start within 2 seconds", "pulseaudio: stopped while it started" }) {
        std::thread stopper;
        if (std::string(cause).find("stopped") != std::string::npos)
            stopper = std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                standin::requestStop();
            });
        const auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(
            synth.startLive(performance, "pulseaudio", driver, error), SoundResult::NoAudioDevice);
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
        EXPECT_EQ(error, std::string("no audio device (") + cause + ")");
        if (stopper.joinable())
            stopper.join();
    }
    ::kill(server, SIGCONT);
    end(server);

    const std::vector<float> left = leftChannel(readFile(dir / "monitor.raw"), 0);
    ASSERT_GT(left.size(), std::size_t(kSampleRate)) << "the monitor recorded under a second";
    EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.05f) << "silence";
    // Every stroke is there (a starved sound server may add breaks, hence no check of spacing).
    EXPECT_GE(onsets(left).size(), 4u) << ::testing::PrintToString(onsets(left));
}

// Why nothing is heard, in the user's words, from the causes the drivers give.
TEST(NoSoundMessage, NamesEachDriversCauseInWordsAUserCanActOn)
{
    using F = std::vector<standin::DriverFailure>;
    const struct {
        F failures;
        const char* message;
    } rows[] = {
        { F { { "pulseaudio",
                  "Failed to create PulseAudio connection, because pa_simple_new() failed with "
                  "error: Connection refused" },
              { "alsa", "Failed to open the \"default\" audio device" } },
            "No sound: the PulseAudio server refused the connection (is it running?); ALSA's "
            "default device could not be opened." },
        { F { { "pulseaudio", "did not start within 2 seconds" } },
            "No sound: the PulseAudio server did not answer within 2 seconds (is it stopped?)." },
        { F { { "alsa", "Failed to open the \"hw:1\" audio device" } },
            "No sound: ALSA's hw:1 device could not be opened." },
        { F { { "pulseaudio", standin::kStoppedTakingSound } },
            "No sound: the PulseAudio server stopped taking sound (did it end or restart?)." },
        { F { { "alsa", standin::kStoppedTakingSound } },
            "No sound: the ALSA device stopped taking sound (did another program take it?)." },
        { F { { "jack", "Failed to connect to Jack server." } },
            "No sound: no JACK server is running." },
        { F { { "oss", "no such audio driver" } },
            "No sound: FluidSynth has no audio driver \"oss\"." },
        { F { { "sdl2", "did not start within 2 seconds" } },
            "No sound: sdl2 did not answer within 2 seconds." },
        { F { { "sdl2", "Something else" } }, "No sound: sdl2: Something else." },
        { F {}, "No sound: no audio driver could be started." },
    };
    for (const auto& row : rows)
        EXPECT_EQ(standin::noSoundMessage(row.failures), row.message);
}

// FluidR3_GM (148 MB) is read a drum kit at a time, with its drum kits alone: every key of two of
// its kits sounds as FluidSynth makes it from the whole SoundFont, the same events given at the
// same samples.
TEST(LargeSoundFont, KitsSoundAsFromTheWholeSoundFont)
{
    const char* const file = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
    if (!fs::exists(file))
        GTEST_SKIP() << file << " is missing (fluid-soundfont-gm): not tried.";
    standin::Performance performance;
    for (int kit : { 0, 25 }) {
        const double start = performance.endSeconds;
        performance.events.push_back({ start, standin::MidiEvent::Type::ProgramChange, 9, kit });
        for (int key = 35; key <= 81; ++key) {
            const double at = start + (key - 35) * 0.11;
            performance.events.push_back({ at, standin::MidiEvent::Type::NoteOn, 9, key, 100 });
            performance.events.push_back({ at + 0.1, standin::MidiEvent::Type::NoteOff, 9, key });
        }
        performance.endSeconds = start + 47 * 0.11 + 1;
    }
    const fs::path dir = fs::temp_directory_path() / ("rudimix-kits-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string error;
    {
        standin::Synthesiser synth;
        ASSERT_EQ(synth.loadSoundFont(file, error), SoundResult::Ok) << error;
        ASSERT_EQ(synth.renderWav(performance, dir / "kits.wav", error), SoundResult::Ok) << error;
    }
    const std::vector<float> made = leftChannel(readFile(dir / "kits.wav"), 44);
    fs::remove_all(dir);

    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", kSampleRate);
    fluid_settings_setnum(settings, "synth.gain", 0.6);
    fluid_synth_t* whole = new_fluid_synth(settings);
    ASSERT_NE(fluid_synth_sfload(whole, file, 1), FLUID_FAILED);
    const auto frames = unsigned(std::lround((performance.endSeconds + 1) * kSampleRate));
    std::vector<float> left(frames), right(frames);
    std::size_t next = 0;
    auto sample = [](double s) { return unsigned(std::llround(s * kSampleRate)); };
    for (unsigned done = 0; done < frames;) {
        for (; next < performance.events.size() && sample(performance.events[next].seconds) <= done;
             ++next) {
            const standin::MidiEvent& e = performance.events[next];
            if (e.type == standin::MidiEvent::Type::ProgramChange)
                fluid_synth_program_change(whole, e.channel, e.key);
            else if (e.type == standin::MidiEvent::Type::NoteOn)
                fluid_synth_noteon(whole, e.channel, e.key, e.velocity);
            else
                fluid_synth_noteoff(whole, e.channel, e.key);
        }
        unsigned count = std::min(4096u, frames - done);
        if (next < performance.events.size())
            count = std::min(count, sample(performance.events[next].seconds) - done);
        fluid_synth_write_float(
            whole, int(count), left.data() + done, 0, 1, right.data() + done, 0, 1);
        done += count;
    }
    delete_fluid_synth(whole);
    delete_fluid_settings(settings);

    ASSERT_EQ(made.size(), left.size());
    float largest = 0, loudest = 0;
    std::size_t at = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
        loudest = std::max(loudest, std::abs(left[i]));
        if (std::abs(made[i] - left[i]) > largest)
            largest = std::abs(made[at = i] - left[i]);
    }
    EXPECT_GT(loudest, 0.05f);
    EXPECT_LT(largest, 2e-3f) << "at " << at / double(kSampleRate) << " s";
}

} // namespace
