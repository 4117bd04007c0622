#include "micinput.h"

#include "playbackclock.h"

#include <aubio/aubio.h>
#include <dlfcn.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <type_traits>
#include <unistd.h>

namespace standin {

namespace {

    constexpr double kServerSeconds = 2.0; // the most a server is waited for
    constexpr unsigned kHop = 128; // under 3 ms at 44.1 and 48 kHz
    constexpr unsigned kWindow = 512; // aubio's analysis window
    constexpr double kLevelSeconds = 0.010; // a stroke's level: its peak in this time
    constexpr std::size_t kStampsKept = 31; // the capture clock: the median of these
    constexpr std::size_t kHistory = 8192; // samples kept for the level

    // aubio, loaded when a microphone is first opened: it brings a whole media library with it,
    // which every other run of the host (the console, --render, a hand-over) would otherwise
    // load at its start.
    struct Aubio {
        decltype(&new_aubio_onset) newOnset = nullptr;
        decltype(&aubio_onset_set_minioi_ms) setMinioiMs = nullptr;
        decltype(&aubio_onset_do) onsetDo = nullptr;
        decltype(&aubio_onset_get_last) getLast = nullptr;
        decltype(&del_aubio_onset) deleteOnset = nullptr;
        decltype(&new_fvec) newFvec = nullptr;
        decltype(&del_fvec) deleteFvec = nullptr;

        static const Aubio* load(std::string& error)
        {
            static Aubio aubio;
            static std::string failure;
            static std::once_flag once;
            std::call_once(once, [] {
                void* library = ::dlopen("libaubio.so.5", RTLD_NOW | RTLD_LOCAL);
                if (!library) {
                    failure = std::string("aubio cannot be loaded (libaubio5): ") + ::dlerror();
                    return;
                }
                const auto symbol = [&](auto& target, const char* name) {
                    target = reinterpret_cast<std::remove_reference_t<decltype(target)>>(
                        ::dlsym(library, name));
                    if (!target && failure.empty())
                        failure = std::string("aubio lacks ") + name;
                };
                symbol(aubio.newOnset, "new_aubio_onset");
                symbol(aubio.setMinioiMs, "aubio_onset_set_minioi_ms");
                symbol(aubio.onsetDo, "aubio_onset_do");
                symbol(aubio.getLast, "aubio_onset_get_last");
                symbol(aubio.deleteOnset, "del_aubio_onset");
                symbol(aubio.newFvec, "new_fvec");
                symbol(aubio.deleteFvec, "del_fvec");
            });
            error = failure;
            return failure.empty() ? &aubio : nullptr;
        }
    };

    // A connection to the sound server on a thread of PulseAudio's own.
    struct Session {
        pa_threaded_mainloop* loop = nullptr;
        pa_context* context = nullptr;
        std::atomic<bool> down { false };

        static void onState(pa_context* context, void* data)
        {
            auto* session = static_cast<Session*>(data);
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
                session->down = true;
            pa_threaded_mainloop_signal(session->loop, 0);
        }

        // Waits (the loop locked) until done() holds, at most kServerSeconds.
        template <typename Done> bool wait(Done done)
        {
            const auto until
                = std::chrono::steady_clock::now() + std::chrono::duration<double>(kServerSeconds);
            while (!done()) {
                if (std::chrono::steady_clock::now() > until)
                    return false;
                pa_threaded_mainloop_unlock(loop);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                pa_threaded_mainloop_lock(loop);
            }
            return true;
        }

        bool connect(const char* name, std::string& error)
        {
            loop = pa_threaded_mainloop_new();
            context = loop ? pa_context_new(pa_threaded_mainloop_get_api(loop), name) : nullptr;
            if (!context) {
                error = "the sound server cannot be reached";
                return false;
            }
            pa_context_set_state_callback(context, onState, this);
            if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0
                || pa_threaded_mainloop_start(loop) < 0) {
                error = std::string("no sound server: ") + pa_strerror(pa_context_errno(context));
                return false;
            }
            pa_threaded_mainloop_lock(loop);
            const bool ready = wait(
                [this] { return down || pa_context_get_state(context) == PA_CONTEXT_READY; });
            const bool ok = ready && !down;
            if (!ok)
                error = ready
                    ? std::string("no sound server: ") + pa_strerror(pa_context_errno(context))
                    : "no sound server: it did not answer within 2 seconds";
            pa_threaded_mainloop_unlock(loop);
            return ok;
        }

        // Runs an operation (the loop locked) and waits for it.
        bool run(pa_operation* operation)
        {
            if (!operation)
                return false;
            const bool done = wait(
                [&] { return down || pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
            pa_operation_unref(operation);
            return done && !down;
        }

        ~Session()
        {
            if (loop)
                pa_threaded_mainloop_stop(loop);
            if (context) {
                pa_context_disconnect(context);
                pa_context_unref(context);
            }
            if (loop)
                pa_threaded_mainloop_free(loop);
        }
    };

    struct SourceQuery {
        std::string defaultName;
        std::vector<SoundSource> sources;
        std::vector<unsigned> rates;
    };

    bool querySources(Session& session, SourceQuery& query, std::string& error)
    {
        pa_threaded_mainloop_lock(session.loop);
        bool ok = session.run(pa_context_get_server_info(
            session.context,
            [](pa_context*, const pa_server_info* info, void* data) {
                if (info && info->default_source_name)
                    static_cast<SourceQuery*>(data)->defaultName = info->default_source_name;
            },
            &query));
        ok = ok
            && session.run(pa_context_get_source_info_list(
                session.context,
                [](pa_context*, const pa_source_info* info, int eol, void* data) {
                    if (eol || !info)
                        return;
                    auto* q = static_cast<SourceQuery*>(data);
                    q->sources.push_back(
                        { info->name, info->description ? info->description : info->name });
                    q->rates.push_back(info->sample_spec.rate);
                },
                &query));
        pa_threaded_mainloop_unlock(session.loop);
        if (!ok)
            error = "the sound server did not list its sources";
        return ok;
    }

} // namespace

std::vector<SoundSource> listSoundSources(std::string& error)
{
    Session session;
    SourceQuery query;
    if (!session.connect("Tambrix stand-in", error) || !querySources(session, query, error))
        return {};
    std::vector<SoundSource> sources = query.sources;
    std::stable_partition(sources.begin(), sources.end(),
        [&](const SoundSource& s) { return s.name == query.defaultName; });
    return sources;
}

struct MicInput::Private {
    struct Stamp {
        unsigned long long frame = 0;
        double monotonic = 0;
    };

    std::unique_ptr<Session> session;
    pa_stream* stream = nullptr;
    std::string source;
    unsigned rate = 48000;
    // Filled on PulseAudio's thread, emptied on the detection thread.
    HandOverRing<float, (1u << 18)> samples;
    HandOverRing<Stamp, 256> stamps;
    unsigned long long framesIn = 0; // PulseAudio's thread only
    std::atomic<bool> streamDown { false };
    std::atomic<bool> moved { false };
    // Filled on the detection thread, emptied by take().
    HandOverRing<InputStroke, 1024> strokes;
    std::thread detector;
    std::atomic<bool> stopping { false };
    bool reportedDown = false;

    static void onRead(pa_stream* stream, size_t, void* data)
    {
        auto* d = static_cast<Private*>(data);
        static const std::array<float, 1024> silence {};
        while (pa_stream_readable_size(stream) > 0) {
            const void* bytes = nullptr;
            size_t size = 0;
            if (pa_stream_peek(stream, &bytes, &size) < 0 || size == 0)
                return;
            pa_usec_t latency = 0;
            int negative = 0;
            if (pa_stream_get_latency(stream, &latency, &negative) == 0) {
                const double seconds = double(latency) / 1e6;
                d->stamps.push(
                    { d->framesIn, monotonicSeconds() + (negative ? seconds : -seconds) });
            }
            const std::size_t frames = size / sizeof(float);
            if (bytes) {
                d->samples.pushMany(static_cast<const float*>(bytes), frames);
            } else {
                for (std::size_t left = frames; left > 0;) {
                    const std::size_t n = std::min(left, silence.size());
                    d->samples.pushMany(silence.data(), n);
                    left -= n;
                }
            }
            d->framesIn += frames;
            pa_stream_drop(stream);
        }
    }

    static void onState(pa_stream* stream, void* data)
    {
        auto* d = static_cast<Private*>(data);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
            d->streamDown = true;
        pa_threaded_mainloop_signal(d->session->loop, 0);
    }

    const Aubio* aubio = nullptr;

    void detect()
    {
        const Aubio& a = *aubio;
        aubio_onset_t* onset = a.newOnset(const_cast<char*>("hfc"), kWindow, kHop, rate);
        fvec_t* in = a.newFvec(kHop);
        fvec_t* out = a.newFvec(1);
        if (!onset || !in || !out)
            return;
        a.setMinioiMs(onset, 20); // a flam's grace note and its stroke are two
        std::vector<float> history(kHistory);
        std::vector<double> offsets; // capture moment less frame time, the last few
        unsigned long long processed = 0;
        float hop[kHop];
        while (!stopping) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            Stamp stamp;
            while (stamps.pop(stamp)) {
                offsets.push_back(stamp.monotonic - double(stamp.frame) / rate);
                if (offsets.size() > kStampsKept)
                    offsets.erase(offsets.begin());
            }
            while (samples.size() >= kHop) {
                samples.popMany(hop, kHop);
                for (unsigned i = 0; i < kHop; ++i) {
                    in->data[i] = hop[i];
                    history[(processed + i) % kHistory] = hop[i];
                }
                processed += kHop;
                a.onsetDo(onset, in, out);
                if (out->data[0] <= 0 || offsets.empty())
                    continue;
                const unsigned long long at = a.getLast(onset);
                const unsigned long long end
                    = std::min<unsigned long long>(processed, at + unsigned(kLevelSeconds * rate));
                float peak = 0;
                for (unsigned long long f = at; f < end && processed - f <= kHistory; ++f)
                    peak = std::max(peak, std::abs(history[f % kHistory]));
                std::vector<double> sorted = offsets;
                std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
                const double offset = sorted[sorted.size() / 2];
                strokes.push({ offset + double(at) / rate, -1, -1,
                    peak > 0 ? 20 * std::log10(double(peak)) : -120.0 });
            }
        }
        a.deleteOnset(onset);
        a.deleteFvec(in);
        a.deleteFvec(out);
    }
};

MicInput::MicInput()
    : d(std::make_unique<Private>())
{
}

MicInput::~MicInput()
{
    close();
}

bool MicInput::open(const std::string& source, std::string& error)
{
    close();
    d->aubio = Aubio::load(error);
    if (!d->aubio)
        return false;
    d->session = std::make_unique<Session>();
    SourceQuery query;
    if (!d->session->connect("Tambrix stand-in listening", error)
        || !querySources(*d->session, query, error)) {
        close();
        return false;
    }
    d->source = source.empty() ? query.defaultName : source;
    const auto found = std::find_if(query.sources.begin(), query.sources.end(),
        [&](const SoundSource& s) { return s.name == d->source; });
    if (found == query.sources.end()) {
        error = d->source.empty() ? std::string("no microphone: the sound server has no source")
                                  : "no microphone " + d->source + " on the sound server";
        close();
        return false;
    }
    const unsigned rate = query.rates[std::size_t(found - query.sources.begin())];
    d->rate = rate == 44100 || rate == 48000 ? rate : 48000;

    pa_threaded_mainloop_lock(d->session->loop);
    const pa_sample_spec format { PA_SAMPLE_FLOAT32NE, d->rate, 1 };
    d->stream = pa_stream_new(d->session->context, "Tambrix stand-in listening", &format, nullptr);
    bool ready = false;
    if (d->stream) {
        pa_stream_set_state_callback(d->stream, Private::onState, d.get());
        pa_stream_set_read_callback(d->stream, Private::onRead, d.get());
        pa_stream_set_moved_callback(
            d->stream, [](pa_stream*, void* data) { static_cast<Private*>(data)->moved = true; },
            d.get());
        pa_buffer_attr attr {};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = uint32_t(2 * kHop * sizeof(float));
        const auto flags = pa_stream_flags_t(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE);
        if (pa_stream_connect_record(d->stream, d->source.c_str(), &attr, flags) == 0)
            ready = d->session->wait([this] {
                const pa_stream_state_t state = pa_stream_get_state(d->stream);
                return state != PA_STREAM_CREATING && state != PA_STREAM_UNCONNECTED;
            }) && pa_stream_get_state(d->stream) == PA_STREAM_READY;
    }
    if (!ready)
        error = "the microphone " + d->source
            + " cannot be captured: " + pa_strerror(pa_context_errno(d->session->context));
    pa_threaded_mainloop_unlock(d->session->loop);
    if (!ready) {
        close();
        return false;
    }
    d->stopping = false;
    d->detector = std::thread([this] { d->detect(); });
    return true;
}

void MicInput::close()
{
    d->stopping = true;
    if (d->detector.joinable())
        d->detector.join();
    if (d->session && d->stream) {
        pa_threaded_mainloop_lock(d->session->loop);
        // The stream's end (and the context's, after it) is nobody's news: the callbacks would
        // reach a session being taken down.
        pa_stream_set_state_callback(d->stream, nullptr, nullptr);
        pa_stream_set_read_callback(d->stream, nullptr, nullptr);
        pa_stream_set_moved_callback(d->stream, nullptr, nullptr);
        pa_stream_disconnect(d->stream);
        pa_stream_unref(d->stream);
        pa_threaded_mainloop_unlock(d->session->loop);
    }
    d->stream = nullptr;
    d->session.reset();
    d->streamDown = false;
    d->moved = false;
    d->reportedDown = false;
    d->framesIn = 0;
    float sample;
    while (d->samples.pop(sample)) { }
    Private::Stamp stamp;
    while (d->stamps.pop(stamp)) { }
}

std::string MicInput::opened() const
{
    return d->session ? "microphone " + d->source + " at " + std::to_string(d->rate) + " Hz" : "";
}

void MicInput::take(std::vector<InputStroke>& strokes)
{
    InputStroke stroke;
    while (d->strokes.pop(stroke))
        strokes.push_back(stroke);
}

void MicInput::check(std::vector<std::string>& problems)
{
    if (!d->session)
        return;
    if (!d->reportedDown && (d->session->down || d->streamDown)) {
        d->reportedDown = true;
        problems.push_back(d->session->down
                ? "the sound server has gone: no more strokes from the microphone"
                : "the microphone " + d->source + " is gone");
    }
    if (d->moved.exchange(false)) {
        pa_threaded_mainloop_lock(d->session->loop);
        const char* now = d->stream ? pa_stream_get_device_name(d->stream) : nullptr;
        const std::string name = now ? now : "another source";
        pa_threaded_mainloop_unlock(d->session->loop);
        problems.push_back("the microphone " + d->source + " is gone; listening to " + name);
    }
    if (const std::size_t lost = d->samples.takeDropped())
        problems.push_back("the microphone's stroke detection fell behind: " + std::to_string(lost)
            + " samples lost");
}

struct PlaybackLatency::Private {
    std::unique_ptr<Session> session;
    std::atomic<double> seconds { -1 };
    double found = -1; // PulseAudio's thread: the answer being gathered
};

PlaybackLatency::PlaybackLatency()
    : d(std::make_unique<Private>())
{
}

PlaybackLatency::~PlaybackLatency() = default;

bool PlaybackLatency::open()
{
    d->session = std::make_unique<Session>();
    std::string error;
    if (!d->session->connect("Tambrix stand-in latency", error)) {
        d->session.reset();
        return false;
    }
    refresh();
    return true;
}

void PlaybackLatency::refresh()
{
    if (!d->session || d->session->down)
        return;
    pa_threaded_mainloop_lock(d->session->loop);
    pa_operation* operation = pa_context_get_sink_input_info_list(
        d->session->context,
        [](pa_context*, const pa_sink_input_info* info, int eol, void* data) {
            auto* p = static_cast<Private*>(data);
            if (eol) {
                p->seconds = p->found;
                p->found = -1;
                return;
            }
            const char* pid
                = info ? pa_proplist_gets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID) : nullptr;
            if (pid && std::to_string(::getpid()) == pid)
                p->found = std::max(p->found, double(info->buffer_usec + info->sink_usec) / 1e6);
        },
        d.get());
    if (operation)
        pa_operation_unref(operation);
    pa_threaded_mainloop_unlock(d->session->loop);
}

double PlaybackLatency::seconds() const
{
    return d->seconds;
}

} // namespace standin
