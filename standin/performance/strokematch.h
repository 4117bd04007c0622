#pragma once

#include <cmath>
#include <deque>
#include <string>
#include <variant>
#include <vector>

// Play-along: the strokes a drummer plays matched with the strokes the pattern asks for. Plain
// C++, no devices: times are seconds on the player's clock (a PracticeSchedule's), as heard.
namespace standin {

inline constexpr unsigned kAnyVoice = 0x3f; // voices A to F
inline constexpr double kMaxStrokeWindow = 0.150; // a stroke counts for a note this near at most
// A flam's grace note: a first stroke this little before a second one in the same note's window
// is the grace note, and the second is the note's stroke.
inline constexpr double kGraceSpan = 0.060;

enum class Dynamics { Plain, Accent, Ghost };

// A stroke the pattern asks for: a sounding voice of a note (a grace note is none), or in "any
// pad" mode every voice of a note together.
struct ExpectedStroke {
    int loop = 0; // from 1; an intro's note has the first loop's number, a transition's the next
    int note = 0; // from 1, as the editor's columns
    unsigned voices = 1; // bit 0 voice A; one bit unless in "any pad" mode
    double seconds = 0;
    double loopStart = 0;
    Dynamics dynamics = Dynamics::Plain;
    bool flam = false;
    // False for an intro's or a transition's note: it takes its stroke, which is not counted.
    bool graded = true;
};

// A stroke played. seconds: on the player's clock, as the drummer heard it (before the input's
// calibrated latency is taken off).
struct PlayedStroke {
    double seconds = 0;
    unsigned voices = kAnyVoice; // the voices whose key it is
    int velocity = -1; // MIDI, 1 to 127; -1 for a microphone
    double level = NAN; // a microphone's peak in dBFS
};

struct StrokeResult {
    enum class Kind { Hit, Missed, Extra };
    Kind kind = Kind::Hit;
    ExpectedStroke expected; // Hit, Missed
    PlayedStroke played; // Hit, Extra
    double offset = 0; // Hit: stroke minus expected, less the latency (late is +)
    int loop = 0; // Extra: the loop whose time it fell in
    double at = 0; // Extra: seconds from that loop's start, less the latency
    bool dynamicsOff = false; // Hit: an accent softer than the plain strokes, a ghost louder
};

struct LoopSummary {
    int loop = 0;
    int expected = 0;
    int hit = 0;
    int missed = 0;
    int extra = 0;
    double mean = 0; // of the hits' offsets
    double spread = 0; // their standard deviation
    double worst = 0; // the largest offset either way
    int dynamicsOff = 0;
};

using MatchEvent = std::variant<StrokeResult, LoopSummary>;

// "stroke loop=3 note=5 voice=A offset=+12 velocity=100" (level=-18 for a microphone),
// "missed loop=3 note=7 voice=A", "extra loop=3 at=812"; a flagged accent or ghost note ends in
// " soft-accent" or " loud-ghost".
std::string resultLine(const StrokeResult& result);
// "Loop 3: 15 of 16, 1 missed, 0 extra, mean +7 ms, spread 11 ms"
std::string summaryLine(const LoopSummary& summary);
std::string eventLine(const MatchEvent& event);
// The voices' letters: "A", "AC".
std::string voiceLetters(unsigned voices);

// Save Results: one row per expected or extra stroke (loop, note, voice, expected ms from the
// loop's start, stroke ms, offset ms, velocity or level in dBFS, result) by loop and time, each
// loop followed by its line.
std::string resultsCsv(const std::vector<MatchEvent>& events, bool microphone);

class StrokeMatcher {
public:
    struct Settings {
        double latency = 0; // the input's calibrated latency, taken off every stroke
        bool anyPad = false; // one stroke per note, whatever its voices
        double window = kMaxStrokeWindow; // the most a stroke may be off its note
        unsigned lanes = kAnyVoice; // the voices that sound anywhere in the schedule
    };
    void reset(const Settings& settings);
    const Settings& settings() const { return mSettings; }

    // The pattern's strokes, in time order, and where each loop begins; knownUntil: every
    // expected stroke before this time has been given. finish: nothing more comes after end.
    void addLoop(int loop, double start);
    void addExpected(const ExpectedStroke& stroke);
    void setKnownUntil(double seconds);
    void finish(double end);

    // A stroke; its verdict may wait until more of the pattern is known.
    void addStroke(const PlayedStroke& stroke);
    // Every stroke played before this time (as heard, latency not taken off) has been given:
    // the notes whose windows have closed are missed, the loops done are summed up.
    void advance(double strokesUntil);

    // What has been decided since the last call, in order.
    std::vector<MatchEvent> take();

private:
    struct Slot {
        ExpectedStroke stroke;
        double low = 0; // the window
        double high = 0;
        bool highFinal = false;
        enum class State { Open, Held, Hit, Closed } state = State::Open;
        PlayedStroke played; // Held, Hit
        double heldAt = 0; // Held: the stroke's time, latency off
    };
    struct Loop {
        int number = 0;
        double start = 0;
        LoopSummary summary;
        std::vector<double> offsets;
        bool done = false;
    };

    void place(std::size_t index);
    double boundFor(unsigned voices) const;
    bool decide(const PlayedStroke& stroke);
    void hit(Slot& slot, const PlayedStroke& stroke, double t);
    void extra(const PlayedStroke& stroke, double t);
    Loop* loopAt(double t);
    Loop* loopNumbered(int number);
    void closeLoops(double strokesUntil);
    double plainLevel() const;

    Settings mSettings;
    std::deque<Slot> mSlots;
    std::deque<Loop> mLoops;
    std::vector<PlayedStroke> mPending; // by time
    std::vector<MatchEvent> mOut;
    std::deque<double> mPlainLevels; // the last plain strokes' velocities or levels
    double mKnownUntil = -1e9;
    double mEnd = 1e18;
    bool mFinished = false;
};

// A calibration run's outcome: latency is the median of the offsets its strokes had with no
// latency taken off, and is the input's latency when Done. Refused: fewer than half the clicks
// had a stroke; the strokes' middle half lay further apart than kCalibrationSpread (the drummer
// did not keep to the clicks); or the median was further off than kCalibrationFarthest, about
// halfway to the next click, where the same strokes would as well be late for one click as
// early for the next.
enum class Calibration { Done, TooFewStrokes, Scattered, BetweenClicks };
inline constexpr double kCalibrationSpread = 0.050;
inline constexpr double kCalibrationFarthest = 0.200;
Calibration calibratedLatency(const std::vector<MatchEvent>& events, int clicks, double& latency);
// The script a calibration run plays: 16 quarter-note clicks at 100 quarter notes per minute.
std::string calibrationScript();
inline constexpr int kCalibrationClicks = 16;

// The speed trainer: the tempo steps up by step after cleanLoops clean loops in a row, up to
// limit (down to it for a negative step). A loop is clean when nothing was missed, nothing was
// extra and every stroke was within the tolerance; when not listening every loop counts as clean.
struct TrainerSettings {
    int step = 4;
    int cleanLoops = 1;
    int limit = 140;
    double tolerance = 0.025;
};
// The defaults for a script: step 4 (the script's TEMPOCHANGE when not listening, if it has
// one), after 1 clean loop, up to the script's tempo + 40.
TrainerSettings trainerDefaults(int scriptTempo, int tempoChange, bool listening);

class SpeedTrainer {
public:
    void start(int tempo, const TrainerSettings& settings);
    // A loop has ended: its summary when listening, else null. Returns the tempo from now on.
    int loopEnded(const LoopSummary* summary);
    int tempo() const { return mTempo; }
    // The tempo of the next step (the current one at the limit).
    int target() const;
    bool clean(const LoopSummary& summary) const;
    int cleanSoFar() const { return mClean; }

private:
    TrainerSettings mSettings;
    int mTempo = 100;
    int mClean = 0;
};

} // namespace standin
