#pragma once

#include "audiodriver.h"
#include "expectedstrokes.h"
#include "playbackclock.h"
#include "practiceschedule.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <thread>

// The practice window's player: one synthesiser with its SoundFont loaded for the window's whole
// life, played on a thread of its own (the sound thread, which no window event can hold up) and
// fed a few tens of milliseconds ahead from its own copy of the PracticeSchedule. The playhead
// follows the synthesiser's sample clock while an audio driver takes the sound, else a clock of
// its own: with no driver that starts, or once the one in use stops taking sound (its server
// ended, its device taken), the window plays on silently and says why, and the drivers are tried
// again every few seconds and whenever play begins; once one starts, the pattern sounds from
// where the playhead is.
namespace standin {

class PerformanceLock;
struct SoundThread;

class Transport : public QObject {
    Q_OBJECT
public:
    // drivers: the audio drivers it may start (FluidSynth's, by the name given to begin).
    explicit Transport(
        std::shared_ptr<AudioDrivers> drivers = systemAudioDrivers(), QObject* parent = nullptr);
    ~Transport() override;

    // Loads the SoundFont and starts the audio driver on the sound thread, and returns at once;
    // play() may follow straight away (it sounds as soon as both are ready). loaded() waits for
    // the SoundFont: 0, or the exit code (SoundResult) with error set.
    void begin(const std::string& soundFont, const std::string& driver);
    int loaded(std::string& error);
    // Both at once: 0 also when no audio driver starts (see silence()).
    int start(const std::string& soundFont, const std::string& driver, std::string& error);

    // What is shown (the grid's layout, the RAW line) and played from the next play() on.
    const PracticeSchedule& schedule() const { return mSchedule; }
    // Changes it, and what plays as well (a tempo, the click: from the next note not yet
    // handed to the synthesiser), on the sound thread.
    void change(const std::function<void(PracticeSchedule&)>& change);

    // Plays from the top. requestedAt: when the request began (CLOCK_BOOTTIME seconds), for the
    // "playing" line. False, with error set, when another performance cannot be stopped.
    bool play(double requestedAt, std::string& error);
    void stop();
    bool playing() const { return mPlaying; }

    // Why nothing is heard, in the user's words ("No sound: ..."); empty while a driver plays or
    // before the first driver has been tried.
    QString silence() const { return mSilence; }
    // The audio driver that takes the sound, empty while silent.
    QString driver() const { return mDriver; }

    // Seconds on CLOCK_BOOTTIME, the clock that process start times are given in.
    static double bootSeconds();

    // For play-along: the schedule's seconds made against the monotonic clock (read on the
    // sound thread as it feeds), the number of the play (it changes each time playing starts
    // from the top), the audio driver's buffer (JACK's is its own, a few milliseconds: none is
    // counted), and the notes the sound thread has fixed, the last few seconds' kept.
    PlaybackClock clock() const;
    long long playCount() const { return mPlays; }
    double bufferSeconds() const;
    const ScheduleProgress& progress();

signals:
    void positionChanged(const standin::PracticeSchedule::Position& position);
    // The first note's samples have been made: after this many seconds from the request.
    void sounding(double seconds);
    void playingChanged(bool playing);
    // The reason for the silence changed: empty once a driver plays again.
    void silenceChanged(const QString& silence);

private:
    void poll();
    void watch();

    std::shared_ptr<SoundThread> mSound;
    std::thread mThread;
    PracticeSchedule mSchedule;
    std::unique_ptr<PerformanceLock> mLock;
    QTimer mPoll;
    bool mPlaying = false;
    unsigned mPlays = 0; // play() calls, so that a finished play is told from a later one
    ScheduleProgress mProgress;
    QString mSilence;
    QString mDriver;
};

} // namespace standin
