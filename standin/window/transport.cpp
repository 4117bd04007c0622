#include "transport.h"

#include "drivermessages.h"
#include "performancelock.h"
#include "synth.h"

#include <QCoreApplication>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <thread>

namespace standin {

namespace {

    // How far ahead of the sample clock the schedule is handed to the synthesiser: a change of
    // tempo or click sounds from the first note beyond it.
    constexpr double kAheadSeconds = 0.060;
    // The first note of a performance comes this long after the clock at the request (a note
    // queued for a sample already made sounds in the next block).
    constexpr double kStartMargin = 0.003;
    constexpr int kDriverPeriods = 4; // of 512 frames: about 46 ms to the loudspeaker
    constexpr auto kFeedPeriod = std::chrono::milliseconds(5);
    // While silent, the drivers are tried again this often (and whenever play begins).
    constexpr double kRetrySeconds = 3.0;
    // A driver in use that asks for no sound this long has stopped taking it.
    constexpr double kLostSeconds = 2.0;

    double steadySeconds()
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

} // namespace

// Everything the sound thread owns, and what it shows the window (under the mutex).
struct SoundThread {
    // Set before the thread starts.
    std::shared_ptr<AudioDrivers> drivers;
    std::string soundFont;
    std::string driverName;

    std::mutex mutex;
    std::condition_variable wake;
    std::vector<std::function<void()>> commands; // run on the sound thread, in order
    bool quit = false;
    // The SoundFont: -1 while loading, else 0 or the exit code.
    int loadResult = -1;
    std::string loadError;
    std::condition_variable loadedChanged;
    // Shown to the window.
    PracticeSchedule::Position position;
    unsigned finishedPlay = 0; // the last play that came to its end
    unsigned soundedPlay = 0; // the last play whose first note has been made
    double soundedAfter = -1; // seconds from its request, until the window has taken it
    std::string silence; // "No sound: ...", empty while a driver plays
    std::string driverUsed;
    bool silenceKnown = false;
    PlaybackClock clock; // the schedule's seconds against the monotonic clock, while playing
    ScheduleProgress progress; // fixed since the window last took it

    // The sound thread's own.
    std::shared_ptr<Synthesiser> synth;
    PracticeSchedule schedule;
    bool playing = false;
    unsigned play = 0;
    double first = -1; // the first note's time, until it has sounded
    std::vector<MidiEvent> held; // taken while silent and not yet due: they sound if sound comes
    double requestedAt = 0;
    long long origin = 0; // the live clock's sample where the schedule's time 0 falls
    double silentOrigin = 0; // the steady clock's second where time 0 falls, while silent
    bool sounding = false; // an output is in use
    bool opening = false; // a driver's start runs on a thread of its own
    std::shared_ptr<Synthesiser::Output> opened; // its result, under the mutex
    std::vector<DriverFailure> openFailures;
    std::string openedName;
    bool openDone = false;
    double nextTry = 0;
    bool tryNow = false;

    void post(std::function<void()> command)
    {
        std::lock_guard lock(mutex);
        commands.push_back(std::move(command));
        wake.notify_all();
    }

    double now() const
    {
        return sounding ? double((long long)(synth->liveSamples()) - origin) / kSampleRate
                        : steadySeconds() - silentOrigin;
    }

    void run(std::shared_ptr<SoundThread> self)
    {
        synth = std::make_shared<Synthesiser>(drivers);
        synth->setDriverPeriods(kDriverPeriods);
        synth->resetLive();
        open(self); // the sound server's connection while the SoundFont loads
        std::string error;
        const std::string file = findSoundFont(soundFont, error);
        const SoundResult result
            = file.empty() ? SoundResult::NoSoundFont : synth->loadSoundFont(file, error);
        {
            std::lock_guard lock(mutex);
            loadResult = int(result);
            loadError = error;
            loadedChanged.notify_all();
        }
        if (result != SoundResult::Ok)
            return;
        silentOrigin = steadySeconds();
        for (;;) {
            std::vector<std::function<void()>> todo;
            {
                std::unique_lock lock(mutex);
                wake.wait_for(lock, kFeedPeriod, [&] { return quit || !commands.empty(); });
                if (quit)
                    break;
                todo.swap(commands);
            }
            keepOutput(self); // a driver that has started plays the commands' notes at once
            for (auto& command : todo)
                command();
            feed();
        }
        synth->useOutput(nullptr);
    }

    // Starts trying the drivers on a thread of its own; keepOutput() takes the result.
    void open(const std::shared_ptr<SoundThread>& self)
    {
        opening = true;
        std::thread([self, synth = synth, name = driverName] {
            std::string used;
            std::string error;
            std::vector<DriverFailure> failures;
            std::shared_ptr<Synthesiser::Output> output
                = synth->openOutput(name, used, error, &failures);
            std::lock_guard lock(self->mutex);
            self->opened = std::move(output);
            self->openFailures = std::move(failures);
            self->openedName = used;
            self->openDone = true;
            self->wake.notify_all();
        }).detach();
    }

    void keepOutput(const std::shared_ptr<SoundThread>& self)
    {
        if (sounding && synth->outputQuietSeconds() > kLostSeconds) {
            // Silent from where the sound stopped: the playhead goes on from there.
            const double at = now();
            synth->useOutput(nullptr);
            synth->silenceLive();
            sounding = false;
            silentOrigin = steadySeconds() - at;
            const std::string name = driverUsed;
            publishSilence(noSoundMessage({ { name, kStoppedTakingSound } }), "");
            nextTry = steadySeconds() + kRetrySeconds;
        }
        if (opening) {
            std::shared_ptr<Synthesiser::Output> output;
            std::vector<DriverFailure> failures;
            std::string name;
            {
                std::lock_guard lock(mutex);
                if (!openDone)
                    return;
                openDone = false;
                output = std::move(opened);
                failures = std::move(openFailures);
                name = openedName;
            }
            opening = false;
            if (!output) {
                publishSilence(noSoundMessage(failures), "");
                nextTry = steadySeconds() + kRetrySeconds;
                return;
            }
            // The clock goes on from where it is: a pattern playing sounds from the playhead.
            const double at = now();
            synth->useOutput(std::move(output));
            sounding = true;
            origin = (long long)(synth->liveSamples()) - std::llround(at * kSampleRate);
            synth->queueLive(held, origin);
            held.clear();
            if (playing && first > at)
                synth->watchLiveSample(origin + std::llround(first * kSampleRate));
            else
                first = -1; // the first note went unheard: no "first note made"
            publishSilence("", name);
            return;
        }
        if (!sounding && (tryNow || steadySeconds() >= nextTry)) {
            tryNow = false;
            open(self);
        }
    }

    void publishSilence(const std::string& why, const std::string& driver)
    {
        std::lock_guard lock(mutex);
        silence = why;
        driverUsed = driver;
        silenceKnown = true;
    }

    void startPlaying(const PracticeSchedule& played, unsigned number, double request)
    {
        stopPlaying();
        schedule = played;
        schedule.restart();
        play = number;
        requestedAt = request;
        playing = true;
        // The first events, and where the first note falls: just after the clock's present.
        std::vector<MidiEvent> events = schedule.take(kLeadInSeconds + kAheadSeconds);
        ScheduleProgress fixed;
        fixed.play = number;
        fixed.add(schedule, -1e9);
        first = kLeadInSeconds;
        for (const MidiEvent& e : events)
            if (e.type == MidiEvent::Type::NoteOn) {
                first = std::min(first, e.seconds);
                break;
            }
        if (sounding) {
            origin = (long long)(synth->liveSamples())
                + std::llround((kStartMargin - first) * kSampleRate);
            synth->queueLive(events, origin);
            synth->watchLiveSample(origin + std::llround(first * kSampleRate));
        } else {
            silentOrigin = steadySeconds() - (first - kStartMargin);
            held = std::move(events);
            tryNow = true;
        }
        const double at = now();
        std::lock_guard lock(mutex);
        progress = std::move(fixed);
        clock.reset();
        clock.add(monotonicSeconds(), at);
    }

    void stopPlaying()
    {
        synth->silenceLive();
        held.clear();
        playing = false;
        first = -1;
        std::lock_guard lock(mutex);
        position = {};
        clock.reset();
    }

    void feed()
    {
        if (!playing)
            return;
        const double at = now();
        const double readAt = monotonicSeconds();
        const double takenBefore = schedule.taken();
        if (sounding) {
            const double made = synth->watchedSampleMadeAt();
            if (first >= 0 && made > 0) {
                first = -1;
                std::lock_guard lock(mutex);
                soundedPlay = play;
                soundedAfter = made - requestedAt;
            }
            synth->queueLive(schedule.take(at + kAheadSeconds), origin);
        } else {
            // What would have sounded by now goes unheard; what is due later waits for sound.
            std::vector<MidiEvent> later;
            for (MidiEvent& e : held)
                if (e.seconds >= at)
                    later.push_back(e);
            for (MidiEvent& e : schedule.take(at + kAheadSeconds))
                if (e.seconds >= at)
                    later.push_back(e);
            held = std::move(later);
        }
        const bool ended = schedule.finished() && at >= schedule.endSeconds() + kTailSeconds;
        ScheduleProgress fixed;
        fixed.play = play;
        fixed.add(schedule, takenBefore);
        std::lock_guard lock(mutex);
        clock.add(readAt, at);
        progress.append(std::move(fixed));
        progress.forget(progress.taken - 8.0); // kept while nobody listens: a few seconds'

        position = ended ? PracticeSchedule::Position {} : schedule.locate(at);
        if (ended) {
            playing = false;
            finishedPlay = play;
        }
    }
};

Transport::Transport(std::shared_ptr<AudioDrivers> drivers, QObject* parent)
    : QObject(parent)
    , mSound(std::make_shared<SoundThread>())
{
    mSound->drivers = std::move(drivers);
    mPoll.setTimerType(Qt::PreciseTimer);
    mPoll.setInterval(16); // a frame of the playhead
    connect(&mPoll, &QTimer::timeout, this, &Transport::poll);
}

Transport::~Transport()
{
    {
        std::lock_guard lock(mSound->mutex);
        mSound->quit = true;
        mSound->wake.notify_all();
    }
    if (mThread.joinable())
        mThread.join(); // at most the SoundFont's load, or a driver that still takes sound
}

void Transport::begin(const std::string& soundFont, const std::string& driver)
{
    mSound->soundFont = soundFont;
    mSound->driverName = driver;
    mThread = std::thread([sound = mSound] { sound->run(sound); });
}

int Transport::loaded(std::string& error)
{
    std::unique_lock lock(mSound->mutex);
    mSound->loadedChanged.wait(lock, [&] { return mSound->loadResult >= 0; });
    error = mSound->loadError;
    return mSound->loadResult;
}

int Transport::start(const std::string& soundFont, const std::string& driver, std::string& error)
{
    begin(soundFont, driver);
    return loaded(error);
}

PlaybackClock Transport::clock() const
{
    std::lock_guard lock(mSound->mutex);
    return mSound->clock;
}

double Transport::bufferSeconds() const
{
    return mDriver == "jack" ? 0.0 : kDriverPeriods * 512.0 / kSampleRate;
}

const ScheduleProgress& Transport::progress()
{
    constexpr double kKeptSeconds = 4.0; // the matcher takes what is new every few ms
    ScheduleProgress fixed;
    {
        std::lock_guard lock(mSound->mutex);
        fixed = std::move(mSound->progress);
        mSound->progress = {};
        mSound->progress.play = fixed.play;
        mSound->progress.taken = fixed.taken;
        mSound->progress.finished = fixed.finished;
        mSound->progress.end = fixed.end;
    }
    if (fixed.play != 0 || fixed.taken > 0)
        mProgress.append(std::move(fixed));
    mProgress.forget(mProgress.taken - kKeptSeconds);
    return mProgress;
}

double Transport::bootSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

void Transport::watch()
{
    if (!mPoll.isActive() && QCoreApplication::instance())
        mPoll.start();
}

void Transport::change(const std::function<void(PracticeSchedule&)>& change)
{
    watch();
    change(mSchedule);
    mSound->post([sound = mSound.get(), change] { change(sound->schedule); });
}

bool Transport::play(double requestedAt, std::string& error)
{
    watch();
    stop();
    // One performance at a time: one playing in a console is stopped; --stop stops this one.
    auto lock = std::make_unique<PerformanceLock>();
    if (lock->acquire(error) != SoundResult::Ok)
        return false;
    mLock = std::move(lock);
    const unsigned number = ++mPlays;
    mSound->post([sound = mSound.get(), schedule = mSchedule, number, requestedAt] {
        sound->startPlaying(schedule, number, requestedAt);
    });
    mPlaying = true;
    emit playingChanged(true);
    return true;
}

void Transport::stop()
{
    mSound->post([sound = mSound.get()] { sound->stopPlaying(); });
    mLock.reset();
    if (mPlaying) {
        mPlaying = false;
        emit positionChanged({});
        emit playingChanged(false);
    }
}

void Transport::poll()
{
    PracticeSchedule::Position position;
    bool finished = false;
    double sounded = -1;
    QString silence;
    QString driver;
    {
        std::lock_guard lock(mSound->mutex);
        position = mSound->position;
        finished = mSound->finishedPlay == mPlays;
        if (mSound->soundedPlay == mPlays && mSound->soundedAfter >= 0) {
            sounded = mSound->soundedAfter;
            mSound->soundedAfter = -1;
        }
        silence = QString::fromStdString(mSound->silence);
        driver = QString::fromStdString(mSound->driverUsed);
    }
    if (silence != mSilence || driver != mDriver) {
        mSilence = silence;
        mDriver = driver;
        emit silenceChanged(mSilence);
    }
    if (!mPlaying)
        return;
    if (sounded >= 0)
        emit sounding(sounded);
    if (finished) {
        mLock.reset();
        mPlaying = false;
        emit positionChanged({});
        emit playingChanged(false);
        return;
    }
    emit positionChanged(position);
}

} // namespace standin
