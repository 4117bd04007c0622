#pragma once

#include "playbackclock.h"
#include "practiceschedule.h"
#include "synth.h"

#include <QObject>
#include <QTimer>
#include <memory>

// The practice window's player: one synthesiser with its SoundFont loaded and its audio driver
// running for the window's whole life, fed a few tens of milliseconds ahead from a
// PracticeSchedule. The playhead comes from the synthesiser's sample clock.
namespace standin {

class PerformanceLock;

class Transport : public QObject {
    Q_OBJECT
public:
    explicit Transport(QObject* parent = nullptr);
    ~Transport() override;

    // Loads the SoundFont and starts the audio driver. On failure returns the exit code
    // (SoundResult) and sets error.
    int start(const std::string& soundFont, const std::string& driver, std::string& error);

    PracticeSchedule& schedule() { return mSchedule; }
    const PracticeSchedule& schedule() const { return mSchedule; }

    // Plays from the top. requestedAt: when the request began (CLOCK_BOOTTIME seconds), for the
    // "playing" line. False, with error set, when another performance cannot be stopped.
    bool play(double requestedAt, std::string& error);
    void stop();
    bool playing() const { return mPlaying; }

    // Seconds on CLOCK_BOOTTIME, the clock that process start times are given in.
    static double bootSeconds();

    // For play-along: the schedule's seconds made against the monotonic clock, a count that
    // changes each time playing starts from the top, and the audio driver's buffer (JACK's is
    // its own, a few milliseconds: none is counted).
    const PlaybackClock& clock() const { return mClock; }
    // Takes one more reading of the sample clock (the transport takes one every 10 ms).
    void readClock();
    long long playCount() const { return mPlayCount; }
    double bufferSeconds() const;

signals:
    void positionChanged(const standin::PracticeSchedule::Position& position);
    // The first note's samples have been made: after this many seconds from the request.
    void sounding(double seconds);
    void playingChanged(bool playing);

private:
    void feed();
    double clockSeconds() const;

    Synthesiser mSynth;
    PracticeSchedule mSchedule;
    std::unique_ptr<PerformanceLock> mLock;
    QTimer mTimer;
    bool mPlaying = false;
    long long mOrigin = 0; // the sample of the live clock where the schedule's time 0 falls
    double mFirst = -1; // the first event's time, until it has sounded
    double mRequestedAt = 0;
    PlaybackClock mClock;
    std::string mDriver; // the audio driver that plays
    long long mPlayCount = 0;
};

} // namespace standin
