// Play-along matching, with no device: strokes at known times against a looped schedule, fed as
// the practice window feeds it (the schedule taken 60 ms ahead, strokes as they come); the
// calibration's median; the speed trainer's steps; the saved results.
#include "expectedstrokes.h"

#include <gtest/gtest.h>

namespace {

using namespace standin;

// 100 quarter notes per minute: an eighth note is 0.3 s, a sixteenth 0.15 s. Voice A is the
// snare (40), B the bass drum (35). Notes: 1 A, 2 B, 3 rest, 4 A flam, 5 A accent, 6 A+B ghost,
// 7 B, 8 A (a sixteenth): a loop of 2.25 s.
const char* const kPattern = "25,25>B,20,25X,28,22>A+B,25>B,45";
constexpr double kNote[] = { 0, 0.3, 0.6, 0.9, 1.2, 1.5, 1.8, 2.1 };
constexpr double kLoop = 2.25;

struct Stroke {
    int loop; // from 1
    int note; // from 1
    double offset; // ms, late +
    int key = 40;
    int velocity = 100;
};

double timeOf(const Stroke& s)
{
    return kLeadInSeconds + (s.loop - 1) * kLoop + kNote[s.note - 1] + s.offset / 1000;
}

std::string play(
    int repeats, const std::vector<Stroke>& strokes, double latency = 0, bool anyPad = false)
{
    Script script;
    std::string error;
    EXPECT_TRUE(parseScript("SET TEMPO=100;SET REPEATS=" + std::to_string(repeats)
            + "\r\nRAW [new-rud]=" + kPattern + "\r\n[new-rud]\r\n",
        script, error))
        << error;
    PracticeSchedule schedule;
    EXPECT_TRUE(schedule.load(script, false, error)) << error;
    StrokeMatcher matcher;
    matcher.reset({ latency, anyPad, kMaxStrokeWindow, soundingVoices(schedule) });
    ExpectedFeed feed;
    std::vector<PlayedStroke> played;
    for (const Stroke& s : strokes) {
        const unsigned voices = voicesForKey(schedule.header(), s.key);
        played.push_back(
            { timeOf(s) + latency, anyPad || !voices ? kAnyVoice : voices, s.velocity, NAN });
    }
    std::sort(played.begin(), played.end(),
        [](const PlayedStroke& a, const PlayedStroke& b) { return a.seconds < b.seconds; });
    std::string lines;
    std::size_t next = 0;
    for (double now = 0; now < repeats * kLoop + 1; now += 0.005) {
        schedule.take(now + 0.060);
        feed.feed(schedule, matcher);
        for (; next < played.size() && played[next].seconds <= now; ++next)
            matcher.addStroke(played[next]);
        matcher.advance(now - 0.002);
        for (const MatchEvent& event : matcher.take())
            lines += eventLine(event) + "\n";
    }
    return lines;
}

// The first loop played with every kind of stroke: keys of the voices' families (38 for the
// snare 40, 36 for the bass drum 35), a flam's grace note before its stroke, a soft accent, a
// ghost note half played, a stroke on the rest.
const std::vector<Stroke> kFirstLoop
    = { { 1, 1, 12, 38 }, { 1, 2, -20, 36 }, { 1, 3, 0 }, { 1, 4, -32, 40, 50 }, { 1, 4, 5 },
          { 1, 5, 0, 40, 60 }, { 1, 6, 0, 40, 40 }, { 1, 7, 60, 35 }, { 1, 8, -57 } };
const char* const kFirstLoopLines
    = "stroke loop=1 note=1 voice=A offset=+12 velocity=100\n"
      "stroke loop=1 note=2 voice=B offset=-20 velocity=100\n"
      "extra loop=1 at=600\n"
      "stroke loop=1 note=4 voice=A offset=+5 velocity=100\n"
      "stroke loop=1 note=5 voice=A offset=+0 velocity=60 soft-accent\n"
      "stroke loop=1 note=6 voice=A offset=+0 velocity=40\n"
      "missed loop=1 note=6 voice=B\n"
      "stroke loop=1 note=7 voice=B offset=+60 velocity=100\n"
      "stroke loop=1 note=8 voice=A offset=-57 velocity=100\n"
      "Loop 1: 7 of 8, 1 missed, 1 extra, mean +0 ms, spread 33 ms\n";

TEST(StrokeMatch, StrokesAgainstALoopedPattern)
{
    const struct {
        const char* what;
        int repeats;
        std::vector<Stroke> strokes;
        double latency;
        std::string lines;
    } rows[] = {
        { "every kind of stroke", 1, kFirstLoop, 0, kFirstLoopLines },
        { "the same 23 ms late through the input's latency", 1, kFirstLoop, 0.023,
            kFirstLoopLines },
        // Loop 1's last note and loop 2's first are 150 ms apart: each takes the strokes on its
        // side of the seam, 70 ms off; a stroke on a note already struck is extra, so is one
        // just outside a window.
        { "the seam between loops", 2,
            { { 1, 8, 70 }, { 2, 1, -70 }, { 2, 1, 20 }, { 2, 2, 148, 35 }, { 2, 8, -151 } }, 0,
            "missed loop=1 note=1 voice=A\nmissed loop=1 note=2 voice=B\n"
            "missed loop=1 note=4 voice=A\nmissed loop=1 note=5 voice=A\n"
            "missed loop=1 note=6 voice=A\nmissed loop=1 note=6 voice=B\n"
            "missed loop=1 note=7 voice=B\n"
            "stroke loop=1 note=8 voice=A offset=+70 velocity=100\n"
            "stroke loop=2 note=1 voice=A offset=-70 velocity=100\n"
            "Loop 1: 1 of 8, 7 missed, 0 extra, mean +70 ms, spread 0 ms\n"
            "extra loop=2 at=20\n"
            "stroke loop=2 note=2 voice=B offset=+148 velocity=100\n"
            "missed loop=2 note=4 voice=A\nmissed loop=2 note=5 voice=A\n"
            "missed loop=2 note=6 voice=A\nmissed loop=2 note=6 voice=B\n"
            "extra loop=2 at=1949\n"
            "missed loop=2 note=7 voice=B\n"
            "missed loop=2 note=8 voice=A\n"
            "Loop 2: 2 of 8, 6 missed, 2 extra, mean +39 ms, spread 109 ms\n" },
    };
    for (const auto& row : rows)
        EXPECT_EQ(play(row.repeats, row.strokes, row.latency), row.lines) << row.what;
}

TEST(StrokeMatch, AnyPadAndKeysOfNoVoice)
{
    const struct {
        const char* what;
        bool anyPad;
        std::vector<Stroke> strokes;
        std::string lines;
    } rows[] = {
        // One stroke for a note of two voices; a bass drum's key for the snare's note.
        { "any pad", true, { { 1, 1, 3, 36 }, { 1, 6, -4, 60 } },
            "stroke loop=1 note=1 voice=A offset=+3 velocity=100\n"
            "missed loop=1 note=2 voice=B\nmissed loop=1 note=4 voice=A\n"
            "missed loop=1 note=5 voice=A\n"
            "stroke loop=1 note=6 voice=AB offset=-4 velocity=100\n"
            "missed loop=1 note=7 voice=B\nmissed loop=1 note=8 voice=A\n"
            "Loop 1: 2 of 7, 5 missed, 0 extra, mean -1 ms, spread 4 ms\n" },
        // Key 60 is no voice's: it takes the nearest note of any voice, a key of voice B only B's.
        { "keys of no voice", false, { { 1, 2, -90, 60 }, { 1, 1, 100, 35 } },
            "extra loop=1 at=100\n"
            "missed loop=1 note=1 voice=A\n"
            "stroke loop=1 note=2 voice=B offset=-90 velocity=100\n"
            "missed loop=1 note=4 voice=A\nmissed loop=1 note=5 voice=A\n"
            "missed loop=1 note=6 voice=A\nmissed loop=1 note=6 voice=B\n"
            "missed loop=1 note=7 voice=B\nmissed loop=1 note=8 voice=A\n"
            "Loop 1: 1 of 8, 7 missed, 1 extra, mean -90 ms, spread 0 ms\n" },
    };
    for (const auto& row : rows)
        EXPECT_EQ(play(1, row.strokes, 0, row.anyPad), row.lines) << row.what;
}

StrokeResult hit(double offset)
{
    StrokeResult r;
    r.offset = offset;
    return r;
}

TEST(StrokeMatch, CalibrationTakesTheMedian)
{
    using C = Calibration;
    const struct {
        std::vector<double> offsets;
        Calibration outcome;
        double latency;
    } rows[] = { { { 0.030, 0.041, 0.029, 0.300, 0.035, 0.033, 0.036, 0.031 }, C::Done, 0.034 },
        { { 0.010, 0.020, 0.030, 0.040, 0.050, 0.060, 0.070 }, C::TooFewStrokes, 0 },
        { { -0.020, -0.010, -0.015, -0.012, -0.018, -0.011, -0.013, -0.014, -0.016 }, C::Done,
            -0.014 },
        // A late input, evenly played: kept however far, up to a third of the clicks' distance.
        { { 0.19, 0.2, 0.2, 0.2, 0.21, 0.2, 0.19, 0.2 }, C::Done, 0.2 },
        // Strokes halfway between the clicks: late for one as much as early for the next.
        { { -0.27, -0.28, -0.26, -0.27, -0.27, -0.28, -0.27, -0.26 }, C::BetweenClicks, -0.27 },
        // Strokes with no beat to them: the middle half 0.1 s wide.
        { { -0.1, -0.05, 0, 0.05, 0.1, 0.15, -0.15, 0.02 }, C::Scattered, 0.01 } };
    for (const auto& row : rows) {
        std::vector<MatchEvent> events;
        for (double offset : row.offsets)
            events.push_back(hit(offset));
        events.push_back(LoopSummary {});
        double latency = 0;
        EXPECT_EQ(calibratedLatency(events, kCalibrationClicks, latency), row.outcome);
        EXPECT_NEAR(latency, row.latency, 1e-9);
    }
    Script script;
    std::string error;
    PracticeSchedule schedule;
    ASSERT_TRUE(parseScript(calibrationScript(), script, error)) << error;
    ASSERT_TRUE(schedule.load(script, false, error)) << error;
    const std::vector<MidiEvent> events = schedule.take(100);
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                  [](const MidiEvent& e) {
                      return e.type == MidiEvent::Type::NoteOn && e.key == kBeatClickKey;
                  }),
        kCalibrationClicks);
    EXPECT_NEAR(schedule.endSeconds() - kLeadInSeconds, kCalibrationClicks * 0.6, 1e-9);
}

TEST(StrokeMatch, TrainerStepsAfterCleanLoops)
{
    LoopSummary clean;
    clean.worst = 0.025;
    LoopSummary late = clean;
    late.worst = 0.026;
    LoopSummary missed = clean;
    missed.missed = 1;
    LoopSummary extra = clean;
    extra.extra = 1;
    const struct {
        const char* what;
        TrainerSettings settings;
        int tempo;
        std::vector<const LoopSummary*> loops; // null: not listening
        std::vector<int> tempos;
    } rows[] = {
        { "every clean loop", { 4, 1, 112, 0.025 }, 100, { &clean, &clean, &late, &clean },
            { 104, 108, 108, 112 } },
        { "two in a row", { 5, 2, 200, 0.025 }, 100,
            { &clean, &missed, &clean, &clean, &extra, &clean, &clean },
            { 100, 100, 100, 105, 105, 105, 110 } },
        { "up to the limit", { 30, 1, 150, 0.025 }, 100, { &clean, &clean, &clean },
            { 130, 150, 150 } },
        { "not listening", { -10, 1, 70, 0.025 }, 100, { nullptr, nullptr, nullptr, nullptr },
            { 90, 80, 70, 70 } },
    };
    for (const auto& row : rows) {
        SpeedTrainer trainer;
        trainer.start(row.tempo, row.settings);
        std::vector<int> tempos;
        for (const LoopSummary* loop : row.loops)
            tempos.push_back(trainer.loopEnded(loop));
        EXPECT_EQ(tempos, row.tempos) << row.what;
    }
    const TrainerSettings listening = trainerDefaults(100, 10, true);
    const TrainerSettings alone = trainerDefaults(100, 10, false);
    EXPECT_EQ(std::vector<int>({ listening.step, listening.cleanLoops, listening.limit }),
        std::vector<int>({ 4, 1, 140 }));
    EXPECT_EQ(alone.step, 10);
    EXPECT_DOUBLE_EQ(listening.tolerance, 0.025);
}

TEST(StrokeMatch, ResultsAreSavedByLoopAndTime)
{
    StrokeResult stroke;
    stroke.expected.loop = 2;
    stroke.expected.note = 3;
    stroke.expected.voices = 0b101;
    stroke.expected.seconds = 5.0;
    stroke.expected.loopStart = 4.4;
    stroke.expected.dynamics = Dynamics::Accent;
    stroke.offset = 0.0124;
    stroke.played.velocity = 70;
    stroke.dynamicsOff = true;
    StrokeResult missed = stroke;
    missed.kind = StrokeResult::Kind::Missed;
    missed.expected.note = 1;
    missed.expected.seconds = 4.4;
    StrokeResult extra;
    extra.kind = StrokeResult::Kind::Extra;
    extra.loop = 2;
    extra.at = 0.3;
    extra.played.level = -18.26;
    LoopSummary summary { 2, 2, 1, 1, 1, 0.0124, 0, 0.0124, 1 };
    EXPECT_EQ(resultsCsv({ stroke, extra, missed, summary }, false),
        "loop,note,voice,expected ms,stroke ms,offset ms,velocity,result\n"
        "2,1,AC,0.0,,,,missed\n"
        "2,,,,300.0,,-18.3,extra\n"
        "2,3,AC,600.0,612.4,12.4,70,soft accent\n"
        "2,,,,,,,\"Loop 2: 1 of 2, 1 missed, 1 extra, mean +12 ms, spread 0 ms\"\n");
}

} // namespace
