// Play-along through real inputs: TAMBRIX.EXE --listen on an X server of its own (Xvfb), a
// private PulseAudio server with two null sinks ("play", where the window plays, and "pad"),
// and for MIDI a private JACK server on the dummy driver. The test plays along: through JACK
// MIDI into the window's virtual port, or sharp strokes into the "pad" sink whose monitor the
// window listens to. The first loop is left alone, the second played on the beat gives the
// phase between the test's clock and the window's, the next three carry planted offsets,
// omissions and extra strokes; the offsets the window prints are compared with what was played
// (as differences, whatever the phase), the missed and extra strokes exactly.
#include "tempdir.h"

#include <RtMidi.h>
#include <jack/jack.h>
#include <pulse/simple.h>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// 100 quarter notes per minute: eighth notes 0.3 s apart, a loop of 2.4 s. Voice A is the snare
// (40), B the bass drum (35); note 3 is a rest, note 8 both voices.
const char* const kScript
    = "SET TEMPO=100\r\nSET REPEATS=5\r\nRAW [new-rud]=25,25>B,20,25,25,25>B,25,25>A+B\r\n"
      "[new-rud]\r\n";
constexpr double kLoop = 2.4;
const std::vector<std::pair<int, char>> kExpected = { { 1, 'A' }, { 2, 'B' }, { 4, 'A' },
    { 5, 'A' }, { 6, 'B' }, { 7, 'A' }, { 8, 'A' }, { 8, 'B' } };

double noteTime(int note)
{
    return (note - 1) * 0.3;
}

// A stroke played: on a note (note 0: an extra, ms from the loop's start), ms off it.
struct Send {
    int loop;
    int note;
    double ms;
    char voice; // 'A' or 'B'
};

// Loops 3 to 5: offsets up to 60 ms either way, omissions (loop 4
// note 1 and 6, loop 5 note 7 and 8 B) and extras (on the rest, and a bass drum between its
// notes); a microphone hears note 8's two voices as one stroke (its A).
const std::vector<Send> kPlanted = {
    { 3, 1, 40, 'A' },
    { 3, 2, -60, 'B' },
    { 3, 0, 600, 'A' },
    { 3, 4, 0, 'A' },
    { 3, 5, 20, 'A' },
    { 3, 6, 55, 'B' },
    { 3, 7, -25, 'A' },
    { 3, 8, 10, 'A' },
    { 3, 8, -10, 'B' }, //
    { 4, 2, 15, 'B' },
    { 4, 4, -45, 'A' },
    { 4, 0, 650, 'B' },
    { 4, 5, -10, 'A' },
    { 4, 7, 60, 'A' },
    { 4, 8, -60, 'A' },
    { 4, 8, 30, 'B' }, //
    { 5, 1, -30, 'A' },
    { 5, 2, 45, 'B' },
    { 5, 4, 25, 'A' },
    { 5, 5, 0, 'A' },
    { 5, 6, -15, 'B' },
    { 5, 8, 5, 'A' },
};

class Player {
public:
    virtual ~Player() = default;
    // Plays a stroke of the voice to be heard at the moment (monotonic seconds); returns the
    // moment it was played at.
    virtual double play(double at, char voice) = 0;
    // How long before its moment a stroke is handed over.
    virtual double lead() const = 0;
};

// The moments (monotonic seconds) where sharp sounds begin in what a recorder hears.
class Onsets {
public:
    virtual ~Onsets() = default;
    std::vector<double> onsets()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mOnsets;
    }
    // The onset nearest the moment, within 40 ms; 0 when there is none.
    double near(double at)
    {
        double best = 0;
        for (double onset : onsets())
            if (std::abs(onset - at) < 0.040
                && (!best || std::abs(onset - at) < std::abs(best - at)))
                best = onset;
        return best;
    }

protected:
    // A sample heard at the moment: an onset where the level leaps above the last 20 ms'.
    void hear(float sample, double at)
    {
        const double level = std::abs(sample);
        if (level > 0.02 && level > 4 * mQuiet && at - mLast > 0.100) {
            mLast = at;
            std::lock_guard<std::mutex> lock(mMutex);
            mOnsets.push_back(at);
        }
        mQuiet = 0.999 * mQuiet + 0.001 * level;
    }

private:
    std::mutex mMutex;
    std::vector<double> mOnsets;
    double mQuiet = 1e-9;
    double mLast = -1;
};

// A null sink's monitor recorded through a PulseAudio stream of the test's own, each sample's
// moment from the stream's latency.
class PulseRecorder : public Onsets {
public:
    static constexpr unsigned kRate = 44100;
    static constexpr unsigned kBlock = 64;

    bool open(const char* monitor)
    {
        const pa_sample_spec spec { PA_SAMPLE_FLOAT32NE, kRate, 1 };
        pa_buffer_attr attr { uint32_t(-1), uint32_t(-1), uint32_t(-1), uint32_t(-1),
            uint32_t(kBlock * sizeof(float)) };
        int error = 0;
        mStream = pa_simple_new(nullptr, "rudimix test recorder", PA_STREAM_RECORD, monitor,
            "onsets", &spec, nullptr, &attr, &error);
        if (mStream)
            mThread = std::thread([this] { run(); });
        return mStream != nullptr;
    }
    ~PulseRecorder() override
    {
        mStopping = true;
        if (mThread.joinable())
            mThread.join();
        if (mStream)
            pa_simple_free(mStream);
    }

private:
    void run()
    {
        std::vector<float> block(kBlock);
        std::vector<double> offsets;
        unsigned long long read = 0;
        while (!mStopping) {
            int error = 0;
            if (pa_simple_read(mStream, block.data(), block.size() * sizeof(float), &error) < 0)
                return;
            const double latency = double(pa_simple_get_latency(mStream, &error)) / 1e6;
            offsets.push_back(now() - latency - double(read + kBlock) / kRate);
            if (offsets.size() > 31)
                offsets.erase(offsets.begin());
            std::vector<double> sorted = offsets;
            std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
            for (unsigned i = 0; i < kBlock; ++i)
                hear(block[i], sorted[sorted.size() / 2] + double(read + i) / kRate);
            read += kBlock;
        }
    }

    pa_simple* mStream = nullptr;
    std::thread mThread;
    std::atomic<bool> mStopping { false };
};

// The synthesiser's output on the JACK server, heard by a client of the test's own: each
// sample's moment is its frame's on JACK's clock.
class JackRecorder : public Onsets {
public:
    bool open(const char* from)
    {
        mClient = jack_client_open("rudimix test recorder", JackNoStartServer, nullptr);
        if (!mClient)
            return false;
        mPort = jack_port_register(
            mClient, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsTerminal, 0);
        jack_set_process_callback(mClient, process, this);
        const double before = now();
        const jack_time_t jack = jack_get_time();
        mOffset = (before + now()) / 2 - double(jack) / 1e6;
        if (!mPort || jack_activate(mClient) != 0)
            return false;
        const char** ports
            = jack_get_ports(mClient, from, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        const bool found
            = ports && ports[0] && jack_connect(mClient, ports[0], jack_port_name(mPort)) == 0;
        jack_free(ports);
        return found;
    }
    ~JackRecorder() override
    {
        if (mClient)
            jack_client_close(mClient);
    }

private:
    static int process(jack_nframes_t frames, void* data)
    {
        auto* r = static_cast<JackRecorder*>(data);
        const auto* samples = static_cast<const float*>(jack_port_get_buffer(r->mPort, frames));
        const jack_nframes_t first = jack_last_frame_time(r->mClient);
        for (jack_nframes_t i = 0; i < frames; ++i)
            r->hear(
                samples[i], double(jack_frames_to_time(r->mClient, first + i)) / 1e6 + r->mOffset);
        return 0;
    }

    jack_client_t* mClient = nullptr;
    jack_port_t* mPort = nullptr;
    double mOffset = 0; // the monotonic clock less JACK's
};

// The window's output, line by line.
struct Window {
    QProcess process;
    QStringList lines;

    void pump(int ms)
    {
        process.waitForReadyRead(ms);
        while (process.canReadLine())
            lines.append(QString::fromUtf8(process.readLine()).trimmed());
    }
    bool waitFor(const QString& text, double seconds)
    {
        const double until = now() + seconds;
        while (now() < until && process.state() != QProcess::NotRunning) {
            for (const QString& line : lines)
                if (line.contains(text))
                    return true;
            pump(20);
        }
        return false;
    }
    // Pumps the output until the moment.
    void until(double at)
    {
        while (now() < at)
            pump(1);
    }
    std::string all() const { return lines.join('\n').toStdString(); }
};

// Plays loops 2 to 5 along with the window's notes as they are heard (recorded from the sink it
// plays into), and checks what it printed against the offsets played: as heard against the
// notes, a microphone's strokes as recorded too. onePad: a microphone's view, where a note of
// both voices is one stroke ("AB").
void playAlong(
    Window& window, Player& player, Onsets& notes, Onsets* strokes, bool onePad, double tolerance)
{
    // Loop 1 is left alone: the window says its first note is missed about 0.15 s after it was
    // heard. The first notes of loops are the onsets heard 0.3 s before the next and 0.9 s
    // before the one after it (note 3 is a rest); the one nearest that moment is loop 1's.
    ASSERT_TRUE(window.waitFor("missed loop=1 note=1 voice=A", 30)) << window.all();
    const double missedAt = now() - 0.15;
    double first = 0;
    while (!first && now() < missedAt + 10) {
        window.pump(10);
        const std::vector<double> heard = notes.onsets();
        for (std::size_t i = 0; i + 2 < heard.size() && !first; ++i)
            if (std::abs(heard[i + 1] - heard[i] - 0.3) < 0.03
                && std::abs(heard[i + 2] - heard[i] - 0.9) < 0.03)
                first = heard[i] - std::round((heard[i] - missedAt) / kLoop) * kLoop;
    }
    ASSERT_TRUE(first) << "the window's notes are not heard";
    auto grid = [&](int loop, double within) { return first + (loop - 1) * kLoop + within; };
    // Where a note will be heard: on the grid, moved as far as the notes heard last were (a
    // loaded machine's sound may fall behind, or stall for a moment).
    auto heardAt = [&](int loop, double within) {
        double drift = 0;
        for (double onset : notes.onsets())
            drift = onset - first - std::round((onset - first - drift) / 0.3) * 0.3;
        return grid(loop, within) + drift;
    };
    auto letters = [&](int note, char voice) {
        return onePad && note == 8 ? std::string("AB") : std::string(1, voice);
    };
    struct Played {
        int loop, note;
        char voice;
        double base, target, actual; // the note's moment as foreseen
    };
    std::vector<Played> sent;
    // Loop 2 on the beat, then loops 3 to 5 as planted.
    std::vector<Send> sends;
    for (const auto& [note, voice] : kExpected)
        sends.push_back({ 2, note, 0, voice });
    sends.insert(sends.end(), kPlanted.begin(), kPlanted.end());
    auto when = [](const Send& s) {
        return s.loop * kLoop + (s.note ? noteTime(s.note) : 0) + s.ms / 1000;
    };
    std::stable_sort(sends.begin(), sends.end(),
        [&](const Send& a, const Send& b) { return when(a) < when(b); });
    for (const Send& s : sends) {
        if (onePad && s.note == 8 && s.voice == 'B')
            continue;
        const double base = heardAt(s.loop, s.note ? noteTime(s.note) : 0);
        window.until(base + s.ms / 1000 - player.lead());
        const double target = heardAt(s.loop, s.note ? noteTime(s.note) : 0) + s.ms / 1000;
        sent.push_back({ s.loop, s.note, s.voice, target - s.ms / 1000, target,
            player.play(target, s.voice) });
    }
    ASSERT_TRUE(window.waitFor("Loop 5:", 15)) << window.all();

    // The window's notes as heard, each put on its place in the pattern (following the sound
    // as it wanders); in loops 3 to 5 a sound that did not keep time (a loaded machine's
    // synthesiser falling behind, a stalled server) leaves nothing to judge by.
    std::map<std::pair<int, int>, double> heardNotes; // loop, note: when
    double drift = 0;
    for (double onset : notes.onsets()) {
        const long slot = std::lround((onset - first - drift) / 0.3);
        drift = onset - first - slot * 0.3;
        if (slot >= 0)
            heardNotes[{ int(slot / 8) + 1, int(slot % 8) + 1 }] = onset;
    }
    double last = NAN;
    for (int loop = 3; loop <= 5; ++loop)
        for (int note : { 1, 2, 4, 5, 6, 7, 8 }) {
            const auto heard = heardNotes.find({ loop, note });
            if (heard == heardNotes.end())
                GTEST_SKIP() << "the window's note " << note << " of loop " << loop
                             << " was not heard: its sound did not keep time here";
            const double beat = heard->second - grid(loop, noteTime(note));
            if (std::abs(beat - last) > 0.003)
                GTEST_SKIP() << "the window's sound moved " << std::lround((beat - last) * 1000)
                             << " ms off the beat before note " << note << " of loop " << loop
                             << ": it did not keep time here";
            last = beat;
        }

    // What was played, as an offset (ms) from the note heard (an extra from the loop's first).
    std::map<std::string, double> played;
    std::vector<std::pair<int, double>> extras;
    for (const Played& p : sent) {
        if (p.loop < 3)
            continue;
        const double note = heardNotes[{ p.loop, p.note ? p.note : 1 }];
        const double stroke = strokes ? strokes->near(p.target) : p.actual;
        ASSERT_TRUE(note && stroke) << "loop " << p.loop << " note " << p.note << " not heard";
        if (p.note)
            played[std::to_string(p.loop) + "/" + std::to_string(p.note) + "/"
                + letters(p.note, p.voice)]
                = (stroke - note) * 1000;
        else
            extras.push_back({ p.loop, (stroke - note) * 1000 });
    }
    std::set<std::string> missedPlanned;
    for (int loop = 3; loop <= 5; ++loop)
        for (const auto& [note, voice] : kExpected) {
            const std::string key
                = std::to_string(loop) + "/" + std::to_string(note) + "/" + letters(note, voice);
            if (!played.count(key))
                missedPlanned.insert(key);
        }

    const QRegularExpression stroke(
        R"(^stroke loop=(\d+) note=(\d+) voice=(\w+) offset=([+-]\d+) )");
    const QRegularExpression missed(R"(^missed loop=(\d+) note=(\d+) voice=(\w+)$)");
    const QRegularExpression extra(R"(^extra loop=(\d+) at=(-?\d+)$)");
    std::map<std::string, double> heard;
    std::set<std::string> missedHeard;
    std::vector<std::pair<int, double>> extrasHeard;
    std::map<int, std::string> loops;
    for (const QString& line : window.lines) {
        const std::string l = line.toStdString();
        if (const auto m = stroke.match(line); m.hasMatch() && m.captured(1).toInt() >= 3)
            heard[(m.captured(1) + "/" + m.captured(2) + "/" + m.captured(3)).toStdString()]
                = m.captured(4).toDouble();
        if (const auto m = missed.match(line); m.hasMatch() && m.captured(1).toInt() >= 3)
            missedHeard.insert(
                (m.captured(1) + "/" + m.captured(2) + "/" + m.captured(3)).toStdString());
        if (const auto m = extra.match(line); m.hasMatch() && m.captured(1).toInt() >= 3)
            extrasHeard.push_back({ m.captured(1).toInt(), m.captured(2).toDouble() });
        if (line.startsWith("Loop "))
            loops[line.mid(5, 1).toInt()] = l.substr(0, l.find(" extra") + 6);
    }
    std::set<std::string> playedKeys, heardKeys;
    for (const auto& [key, ms] : played)
        playedKeys.insert(key);
    for (const auto& [key, ms] : heard)
        heardKeys.insert(key);
    EXPECT_EQ(heardKeys, playedKeys) << window.all();
    EXPECT_EQ(missedHeard, missedPlanned);
    ASSERT_EQ(extrasHeard.size(), extras.size()) << window.all();
    // Each printed offset less the one played: the same for every stroke (what is left is the
    // sound path's latency as the window reckons it against the recordings').
    std::vector<double> differences;
    for (const auto& [key, ms] : heard)
        if (played.count(key))
            differences.push_back(ms - played[key]);
    for (std::size_t i = 0; i < extras.size(); ++i) {
        EXPECT_EQ(extrasHeard[i].first, extras[i].first);
        differences.push_back(extrasHeard[i].second - extras[i].second);
    }
    std::vector<double> sorted = differences;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (double d : differences)
        EXPECT_NEAR(d, median, tolerance) << [&] {
            std::string all;
            for (double x : sorted)
                all += " " + std::to_string(x);
            return all;
        }();
    for (int loop = 3; loop <= 5; ++loop) {
        const auto mine = [&](const std::string& key) { return key[0] == char('0' + loop); };
        const long hits = std::count_if(playedKeys.begin(), playedKeys.end(), mine);
        const long misses = std::count_if(missedPlanned.begin(), missedPlanned.end(), mine);
        const long extra = std::count_if(
            extras.begin(), extras.end(), [&](const auto& e) { return e.first == loop; });
        EXPECT_EQ(loops[loop],
            "Loop " + std::to_string(loop) + ": " + std::to_string(hits) + " of "
                + std::to_string(hits + misses) + ", " + std::to_string(misses) + " missed, "
                + std::to_string(extra) + " extra");
    }
}

// The servers, each started for the test and stopped at its end.
class Listening : public ::testing::Test {
protected:
    TempFolder dir;
    QProcess x, pulse, jack;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    void TearDown() override
    {
        for (QProcess* p : { &x, &pulse, &jack }) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished(5000);
        }
    }

    // Xvfb and PulseAudio; false when either is missing here.
    bool startServers()
    {
        x.start(QStandardPaths::findExecutable("Xvfb"), { "-displayfd", "1", "-nolisten", "tcp" });
        if (!x.waitForReadyRead(20000))
            return false;
        const QString display = QString(x.readLine()).trimmed();
        QDir().mkpath(dir.file("run"));
        QFile::setPermissions(
            dir.file("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString socket = dir.file("pulse.socket");
        const std::pair<const char*, QString> variables[]
            = { { "DISPLAY", ":" + display }, { "QT_QPA_PLATFORM", "xcb" },
                  { "XDG_RUNTIME_DIR", dir.file("run") }, { "XDG_CONFIG_HOME", dir.file("config") },
                  { "HOME", dir.path() }, { "PULSE_RUNTIME_PATH", dir.file("pulse") },
                  { "PULSE_SERVER", "unix:" + socket }, { "PULSE_SINK", "play" } };
        for (const auto& [name, value] : variables) {
            env.insert(name, value);
            qputenv(name, value.toLocal8Bit());
        }
        pulse.setProcessEnvironment(env);
        pulse.setStandardOutputFile(dir.file("pulse.log"));
        pulse.setStandardErrorFile(dir.file("pulse.log"));
        pulse.start("pulseaudio",
            { "--daemonize=no", "--exit-idle-time=-1", "-n",
                "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                "--load=module-null-sink sink_name=play",
                "--load=module-null-sink sink_name=pad" });
        for (int i = 0; i < 200 && !QFile::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!QFile::exists(socket))
            return false;
        TempFolder::write(dir.file("along.drum"), kScript);
        return true;
    }

    void startWindow(Window& window, const QStringList& arguments)
    {
        window.process.setProcessEnvironment(env);
        window.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        window.process.start(TAMBRIX_EXE, arguments + QStringList { dir.file("along.drum") });
    }
};

class MidiPlayer : public Player {
public:
    RtMidiOut out { RtMidi::UNIX_JACK, "rudimix test kit" };
    bool connect()
    {
        for (unsigned i = 0; i < out.getPortCount(); ++i)
            if (out.getPortName(i).find("Tambrix stand-in") != std::string::npos) {
                out.openPort(i);
                return true;
            }
        return false;
    }
    double play(double at, char voice) override
    {
        // The drum families: a snare's 38 for voice A's 40, a bass drum's 36 for B's 35.
        std::vector<unsigned char> noteOn { 0x99, (unsigned char)(voice == 'B' ? 36 : 38), 100 };
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(at))));
        const double sent = now();
        out.sendMessage(&noteOn);
        return sent;
    }
    double lead() const override { return 0.010; }
};

TEST_F(Listening, MidiStrokesThroughJack)
{
    if (QStandardPaths::findExecutable("jackd").isEmpty() || !startServers())
        GTEST_SKIP() << "jackd, Xvfb or PulseAudio is missing here: MIDI play-along not tried";
    const QString server = "rudimix-listen-" + QString::number(QCoreApplication::applicationPid());
    env.insert("JACK_DEFAULT_SERVER", server);
    qputenv("JACK_DEFAULT_SERVER", server.toLocal8Bit());
    jack.setStandardOutputFile(dir.file("jack.log"));
    jack.setStandardErrorFile(dir.file("jack.log"));
    jack.start("jackd", { "-n", server, "-d", "dummy", "-r", "44100", "-p", "32" });
    ASSERT_TRUE(jack.waitForStarted(10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));

    Window window;
    // The window plays on the same JACK server, in its real-time thread: its sound keeps time on
    // a loaded machine.
    startWindow(window, { "--audio-driver", "jack", "--listen", "midi" });
    ASSERT_TRUE(window.waitFor("listening to the virtual port Tambrix stand-in on JACK", 30))
        << window.lines.join('\n').toStdString();
    MidiPlayer player;
    ASSERT_TRUE(player.connect());
    JackRecorder notes;
    ASSERT_TRUE(notes.open("fluidsynth")) << "the window's sound is not on JACK";
    playAlong(window, player, notes, nullptr, false, 3);
    window.process.terminate();
    window.process.waitForFinished(10000);
}

// Sharp strokes (a few milliseconds of decaying noise) played into the "pad" sink through a
// stream of the test's own, each placed at the sample that the stream's latency says is heard
// at its moment.
class PadPlayer : public Player {
public:
    static constexpr unsigned kRate = 48000;
    static constexpr unsigned kBlock = 128;
    pa_simple* stream = nullptr;
    std::thread writer;
    std::atomic<bool> stopping { false };
    std::mutex mutex;
    std::vector<double> pending; // moments to sound
    std::vector<float> stroke;

    bool open()
    {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> noise(-1, 1);
        for (unsigned i = 0; i < kRate / 40; ++i)
            stroke.push_back(0.8f * noise(random) * std::exp(-float(i) / (kRate * 0.004f)));
        const pa_sample_spec spec { PA_SAMPLE_FLOAT32NE, kRate, 1 };
        pa_buffer_attr attr { uint32_t(-1), uint32_t(4 * kBlock * sizeof(float)), uint32_t(-1),
            uint32_t(kBlock * sizeof(float)), uint32_t(-1) };
        int error = 0;
        stream = pa_simple_new(nullptr, "rudimix test pad", PA_STREAM_PLAYBACK, "pad", "strokes",
            &spec, nullptr, &attr, &error);
        if (!stream)
            return false;
        writer = std::thread([this] { write(); });
        return true;
    }
    ~PadPlayer() override
    {
        stopping = true;
        if (writer.joinable())
            writer.join();
        if (stream)
            pa_simple_free(stream);
    }
    void write()
    {
        std::vector<float> block(kBlock);
        std::vector<std::pair<double, std::size_t>> sounding; // start sample, where in stroke
        unsigned long long written = 0;
        while (!stopping) {
            int error = 0;
            const double heard = now() + double(pa_simple_get_latency(stream, &error)) / 1e6;
            std::fill(block.begin(), block.end(), 0.0f);
            {
                std::lock_guard<std::mutex> lock(mutex);
                for (auto at = pending.begin(); at != pending.end();) {
                    const double sample = (*at - heard) * kRate;
                    if (sample < kBlock) {
                        sounding.push_back({ double(written) + std::max(0.0, sample), 0 });
                        at = pending.erase(at);
                    } else {
                        ++at;
                    }
                }
            }
            for (auto& [start, at] : sounding)
                for (unsigned i = 0; i < kBlock; ++i) {
                    const double s = double(written + i) - std::round(start);
                    if (s >= 0 && std::size_t(s) < stroke.size())
                        block[i] += stroke[std::size_t(s)];
                }
            std::erase_if(sounding,
                [&](const auto& s) { return double(written + kBlock) - s.first > stroke.size(); });
            pa_simple_write(stream, block.data(), block.size() * sizeof(float), &error);
            written += kBlock;
        }
    }
    double play(double at, char) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending.push_back(at);
        return at;
    }
    double lead() const override { return 0.200; }
};

TEST_F(Listening, MicrophoneStrokesThroughPulseAudio)
{
    if (!startServers())
        GTEST_SKIP() << "Xvfb or PulseAudio is missing here: microphone play-along not tried";
    Window window;
    startWindow(window, { "--listen", "mic:pad.monitor" });
    ASSERT_TRUE(window.waitFor("listening to the microphone pad.monitor", 30))
        << window.lines.join('\n').toStdString();
    PadPlayer player;
    ASSERT_TRUE(player.open());
    PulseRecorder notes, strokes;
    ASSERT_TRUE(notes.open("play.monitor") && strokes.open("pad.monitor"));
    playAlong(window, player, notes, &strokes, true, 6);
    window.process.terminate();
    window.process.waitForFinished(10000);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
