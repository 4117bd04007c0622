#pragma once

// Play-along runs with real inputs, for the tests and the benchmarks: the servers, TAMBRIX.EXE's
// output line by line, a MIDI kit on JACK, a pad sounding into a null sink, and recorders that
// hear where sharp sounds begin.
#include <RtMidi.h>
#include <jack/jack.h>
#include <pulse/simple.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace listenrig {

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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
    // Whether what was handed to the server at the moment (a MIDI message) was taken late, by a
    // cycle that began more than 0.75 ms after its time; false where that cannot be told.
    virtual bool takenLate(double) { return false; }
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
    // A sample heard at the moment: an onset where the level leaps above the loudest of the
    // last 20 ms (a drum's tail included), at least 100 ms after the one before.
    void hear(float sample, double at)
    {
        const float level = std::abs(sample);
        if (level > 0.005f && level > 3 * *std::max_element(mRecent.begin(), mRecent.end())
            && at - mLast > 0.100) {
            mLast = at;
            std::lock_guard<std::mutex> lock(mMutex);
            mOnsets.push_back(at);
        }
        mLoudest = std::max(mLoudest, level);
        if (++mCounted == 44) { // a millisecond
            mRecent[mNext] = mLoudest;
            mNext = (mNext + 1) % mRecent.size();
            mLoudest = 0;
            mCounted = 0;
        }
    }

private:
    std::mutex mMutex;
    std::vector<double> mOnsets;
    std::array<float, 20> mRecent {};
    std::size_t mNext = 0;
    float mLoudest = 0;
    int mCounted = 0;
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
        const pa_sample_spec format { PA_SAMPLE_FLOAT32NE, kRate, 1 };
        pa_buffer_attr attr { uint32_t(-1), uint32_t(-1), uint32_t(-1), uint32_t(-1),
            uint32_t(kBlock * sizeof(float)) };
        int error = 0;
        mStream = pa_simple_new(nullptr, "rudimix test recorder", PA_STREAM_RECORD, monitor,
            "onsets", &format, nullptr, &attr, &error);
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

// The synthesiser's output on the JACK server, heard by a client of the test's own: a cycle's
// samples follow the moment the driver woke up for it, the earliest that its process callbacks
// of the last few cycles ran at (each runs a little late, by however long this machine took to
// wake the client). That moment, not JACK's estimate of the cycle's start
// (jack_frames_to_time), is when the window's notes and the MIDI it takes in are handled: the
// dummy driver loses time in steps on a loaded machine, and JACK's estimate then swings about the
// wall clock by as much for a second.
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

    bool takenLate(double at) override
    {
        std::lock_guard<std::mutex> lock(mLateMutex);
        return std::any_of(mLate.begin(), mLate.end(),
            [&](const auto& late) { return late.first < at && at < late.second; });
    }

private:
    static int process(jack_nframes_t frames, void* data)
    {
        auto* r = static_cast<JackRecorder*>(data);
        const double rate = jack_get_sample_rate(r->mClient);
        const double at = now();
        r->mOrigins[r->mCycles++ % r->mOrigins.size()] = at - r->mFrames / rate;
        const std::size_t kept = std::min<std::size_t>(r->mCycles, r->mOrigins.size());
        const double origin = *std::min_element(r->mOrigins.begin(), r->mOrigins.begin() + kept);
        const double due = origin + r->mFrames / rate;
        if (at - due > 0.00075) {
            std::lock_guard<std::mutex> lock(r->mLateMutex);
            r->mLate.push_back({ due - frames / rate, at });
        }
        const auto* samples = static_cast<const float*>(jack_port_get_buffer(r->mPort, frames));
        for (jack_nframes_t i = 0; i < frames; ++i)
            r->hear(samples[i], origin + double(r->mFrames + i) / rate);
        r->mFrames += frames;
        return 0;
    }

    jack_client_t* mClient = nullptr;
    jack_port_t* mPort = nullptr;
    unsigned long long mFrames = 0; // heard so far
    std::size_t mCycles = 0;
    std::array<double, 8> mOrigins {}; // the last cycles' callback moments less their frames'
    std::mutex mLateMutex;
    // The cycles that began late: from the one before's start to when this one began.
    std::vector<std::pair<double, double>> mLate;
};

// The window's output, line by line.
struct Window {
    QProcess process;
    QStringList lines;

    ~Window() { stop(); }

    // Asks the window to end (SIGTERM), as a desktop's logout does; true when it ended of its
    // own accord with exit code 0.
    bool stop()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(10000))
                process.kill();
            process.waitForFinished(5000);
        }
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

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
        const pa_sample_spec format { PA_SAMPLE_FLOAT32NE, kRate, 1 };
        pa_buffer_attr attr { uint32_t(-1), uint32_t(4 * kBlock * sizeof(float)), uint32_t(-1),
            uint32_t(kBlock * sizeof(float)), uint32_t(-1) };
        int error = 0;
        stream = pa_simple_new(nullptr, "rudimix test pad", PA_STREAM_PLAYBACK, "pad", "strokes",
            &format, nullptr, &attr, &error);
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

// The servers a play-along run needs, each started for it and stopped at its end: an X server
// (Xvfb), a PulseAudio server with two null sinks ("play", where the window plays, and "pad"),
// and, when asked for, a JACK server on the dummy driver; and TAMBRIX.EXE among them.
class Rig {
public:
    QTemporaryDir dir;
    QProcess x, pulse, jack;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    ~Rig() { stop(); }
    void stop()
    {
        // A JACK server killed leaves its entry in JACK's shared registry: it is given time.
        for (QProcess* p : { &jack, &pulse, &x }) {
            p->terminate();
            if (!p->waitForFinished(20000))
                p->kill();
            p->waitForFinished(5000);
        }
    }
    QString file(const QString& name) const { return dir.filePath(name); }

    // Xvfb and PulseAudio; false when either is missing here. This process talks to them too.
    bool startServers()
    {
        x.start(QStandardPaths::findExecutable("Xvfb"), { "-displayfd", "1", "-nolisten", "tcp" });
        if (!x.waitForReadyRead(20000))
            return false;
        const QString display = QString(x.readLine()).trimmed();
        QDir().mkpath(file("run"));
        QFile::setPermissions(file("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString socket = file("pulse.socket");
        const std::pair<const char*, QString> variables[]
            = { { "DISPLAY", ":" + display }, { "QT_QPA_PLATFORM", "xcb" },
                  { "XDG_RUNTIME_DIR", file("run") }, { "XDG_CONFIG_HOME", file("config") },
                  { "HOME", dir.path() }, { "PULSE_RUNTIME_PATH", file("pulse") },
                  { "PULSE_SERVER", "unix:" + socket }, { "PULSE_SINK", "play" } };
        for (const auto& [name, value] : variables)
            set(name, value);
        pulse.setProcessEnvironment(env);
        pulse.setStandardOutputFile(file("pulse.log"));
        pulse.setStandardErrorFile(file("pulse.log"));
        pulse.start("pulseaudio",
            { "--daemonize=no", "--exit-idle-time=-1", "-n",
                "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                "--load=module-null-sink sink_name=play",
                "--load=module-null-sink sink_name=pad" });
        for (int i = 0; i < 200 && !QFile::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return QFile::exists(socket);
    }

    // A JACK server of its own (44.1 kHz, 128 frames a period: 2.9 ms); false when jackd is
    // missing or does not answer.
    bool startJack()
    {
        if (QStandardPaths::findExecutable("jackd").isEmpty())
            return false;
        jack_set_error_function([](const char*) {}); // "cannot connect" while it starts
        // One name for every run: JACK's shared registry keeps a server that did not end in
        // order until one of the same name takes its place.
        const QString name = QStringLiteral("rudimix-listen");
        set("JACK_DEFAULT_SERVER", name);
        jack.setProcessEnvironment(env);
        jack.setStandardOutputFile(file("jack.log"));
        jack.setStandardErrorFile(file("jack.log"));
        jack.start("jackd", { "-n", name, "-d", "dummy", "-r", "44100", "-p", "128" });
        if (!jack.waitForStarted(10000))
            return false;
        for (int i = 0; i < 100; ++i) {
            if (jack_client_t* c = jack_client_open("rudimix probe", JackNoStartServer, nullptr)) {
                jack_client_close(c);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    void startWindow(Window& window, const QString& exe, const QStringList& arguments)
    {
        window.process.setProcessEnvironment(env);
        window.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        window.process.start(exe, arguments);
    }

private:
    void set(const char* name, const QString& value)
    {
        env.insert(name, value);
        qputenv(name, value.toLocal8Bit());
    }
};

} // namespace listenrig
