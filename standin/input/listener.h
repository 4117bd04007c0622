#pragma once

#include "expectedstrokes.h"
#include "playbackclock.h"
#include "strokematch.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

// Listening while the practice window plays: the strokes of the input chosen (MIDI or a
// microphone) put on the player's clock as the drummer heard it and matched with the pattern.
// Everything here runs in the caller's (the window's) thread; the inputs' own threads only hand
// over timestamps.
namespace standin {

struct InputChoice {
    enum class Kind { Midi, Microphone };
    Kind kind = Kind::Midi;
    // MIDI: a port's label ("JACK: system:midi_capture_1"), empty for the virtual ports alone;
    // microphone: a PulseAudio source's name, empty for the default one.
    std::string name;

    // "midi", "mic" or "mic:SOURCE", as --listen takes it; false with error set otherwise.
    static bool parse(const std::string& text, InputChoice& choice, std::string& error);
    std::string text() const;
    bool operator==(const InputChoice&) const = default;
};

// What the listener needs of the player at each poll.
struct PlaybackView {
    bool playing = false;
    long long playCount = 0; // changes each time playing starts from the top
    const PracticeSchedule* schedule = nullptr; // what is shown: the header, the notes
    // What the player has fixed of it; null when the schedule itself is the one played.
    const ScheduleProgress* progress = nullptr;
    const PlaybackClock* clock = nullptr; // the schedule's seconds made, on the monotonic clock
    // From a sample's making to its sound, when the sound server cannot say (another driver).
    double bufferSeconds = 0;
};

class Listener {
public:
    Listener();
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Opens the input (with MIDI, the virtual ports at once). False, with error set, when it
    // cannot be opened; nothing is listening then.
    bool start(const InputChoice& choice, std::string& error);
    void stop();
    bool listening() const;
    const InputChoice& choice() const { return mChoice; }
    // What is open, one line each ("virtual port Tambrix stand-in on JACK").
    std::vector<std::string> opened() const;

    // The input's calibrated latency (seconds, taken off every stroke) and "Any pad" (every
    // MIDI key counts for the nearest stroke of any voice; a microphone always is). They apply
    // from the next time playing starts.
    void setLatency(double seconds) { mLatency = seconds; }
    double latency() const { return mLatency; }
    void setAnyPad(bool anyPad) { mAnyPad = anyPad; }
    bool anyPad() const { return mAnyPad || mChoice.kind == InputChoice::Kind::Microphone; }
    // The widest a stroke may be off its note (kMaxStrokeWindow; a calibration run uses more).
    void setWindow(double seconds) { mWindow = seconds; }

    // Takes the strokes that came and matches them with what plays; returns what has been
    // decided since the last call, in order. Called often (every few milliseconds).
    std::vector<MatchEvent> poll(const PlaybackView& view);
    // The input's problems since the last call (a port or source gone, a server stopped).
    std::vector<std::string> takeProblems();
    // Everything decided since playing last started from the top (for Save Results).
    const std::vector<MatchEvent>& results() const { return mResults; }
    // The playback latency used now: the sound server's figure, else the view's buffer.
    double playbackLatency(const PlaybackView& view) const;

    struct Inputs;

private:
    void begin(const PlaybackView& view);

    std::unique_ptr<Inputs> mInputs;
    InputChoice mChoice;
    bool mListening = false;
    double mLatency = 0;
    bool mAnyPad = false;
    double mWindow = kMaxStrokeWindow;
    StrokeMatcher mMatcher;
    ExpectedFeed mFeed;
    bool mMatching = false;
    long long mPlayCount = -1;
    double mStartedAt = 0; // monotonic: strokes before it are not this performance's
    double mLastCheck = 0;
    double mLastLatency = 0;
    std::deque<double> mServerLatencies; // the sound server's last figures
    std::vector<std::string> mProblems;
    std::vector<MatchEvent> mResults;
};

} // namespace standin
