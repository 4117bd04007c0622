#include "transport.h"

#include "performancelock.h"

#include <cmath>
#include <ctime>

namespace standin {

namespace {

    // How far ahead of the sample clock the schedule is handed to the synthesiser: a change of
    // tempo or click sounds from the first note beyond it.
    constexpr double kAheadSeconds = 0.060;
    // The first note of a performance comes this long after the sample clock at the request (a
    // note queued for a sample already made sounds in the next block).
    constexpr double kStartMargin = 0.003;
    constexpr int kDriverPeriods = 4; // of 512 frames: about 46 ms to the loudspeaker

} // namespace

Transport::Transport(QObject* parent)
    : QObject(parent)
{
    mTimer.setTimerType(Qt::PreciseTimer);
    mTimer.setInterval(10);
    connect(&mTimer, &QTimer::timeout, this, &Transport::feed);
}

Transport::~Transport()
{
    mSynth.stopLive();
}

double Transport::bootSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

int Transport::start(const std::string& soundFont, const std::string& driver, std::string& error)
{
    const std::string file = findSoundFont(soundFont, error);
    if (file.empty())
        return int(SoundResult::NoSoundFont);
    SoundResult result = mSynth.loadSoundFont(file, error);
    if (result != SoundResult::Ok)
        return int(result);
    mSynth.setDriverPeriods(kDriverPeriods);
    std::string used;
    result = mSynth.startLive(Performance(), driver, used, error);
    if (result != SoundResult::Ok)
        return int(result);
    mDriver = used;
    mTimer.start();
    return 0;
}

void Transport::readClock()
{
    if (!mPlaying)
        return;
    const double position = clockSeconds();
    mClock.add(monotonicSeconds(), position);
}

double Transport::bufferSeconds() const
{
    return mDriver == "jack" ? 0.0 : kDriverPeriods * 512.0 / kSampleRate;
}

double Transport::clockSeconds() const
{
    return double((long long)(mSynth.liveSamples()) - mOrigin) / kSampleRate;
}

bool Transport::play(double requestedAt, std::string& error)
{
    stop();
    // One performance at a time: one playing in a console is stopped; --stop stops this one.
    auto lock = std::make_unique<PerformanceLock>();
    if (lock->acquire(error) != SoundResult::Ok)
        return false;
    mLock = std::move(lock);
    mSchedule.restart();
    std::vector<MidiEvent> first = mSchedule.take(kLeadInSeconds + kAheadSeconds);
    mFirst = kLeadInSeconds;
    for (const MidiEvent& e : first)
        if (e.type == MidiEvent::Type::NoteOn) {
            mFirst = std::min(mFirst, e.seconds);
            break;
        }
    mOrigin
        = (long long)(mSynth.liveSamples()) + std::llround((kStartMargin - mFirst) * kSampleRate);
    mSynth.queueLive(first, mOrigin);
    mRequestedAt = requestedAt;
    mClock.reset();
    const double position = clockSeconds();
    mClock.add(monotonicSeconds(), position);
    ++mPlayCount;
    mPlaying = true;
    emit playingChanged(true);
    return true;
}

void Transport::stop()
{
    mSynth.silenceLive();
    mLock.reset();
    if (mPlaying) {
        mPlaying = false;
        emit positionChanged({});
        emit playingChanged(false);
    }
}

void Transport::feed()
{
    if (!mPlaying)
        return;
    const double now = clockSeconds();
    mClock.add(monotonicSeconds(), now);
    if (mFirst >= 0 && now >= mFirst) {
        mFirst = -1;
        emit sounding(bootSeconds() - mRequestedAt);
    }
    mSynth.queueLive(mSchedule.take(now + kAheadSeconds), mOrigin);
    emit positionChanged(mSchedule.locate(now));
    if (mSchedule.finished() && now >= mSchedule.endSeconds() + kTailSeconds)
        stop();
}

} // namespace standin
