// Play-along through real inputs: TAMBRIX.EXE --listen on an X server of its own (Xvfb), a
// private PulseAudio server with two null sinks ("play", where the window plays, and "pad"),
// and for MIDI a private JACK server on the dummy driver. The test plays along: through JACK
// MIDI into the window's virtual port, or sharp strokes into the "pad" sink whose monitor the
// window listens to. The first loop is left alone, the second played on the beat gives the
// phase between the test's clock and the window's, the next three carry planted offsets,
// omissions and extra strokes; the offsets the window prints are compared with what was played
// (as differences, whatever the phase), the missed and extra strokes exactly.
#include "listenrig.h"
#include "tempdir.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

using namespace listenrig;

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

// How far each printed offset may be from the one played, beyond the run's common latency: a
// stroke judged against the wrong note, an offset of the wrong sign or a window that lost its
// clock is off by more. How close they come (a few milliseconds) is measured by
// bench/listen_bench; here the window's sound on JACK's dummy driver or a null sink (a timer that
// wakes up to 2 ms late, notes that come late by a period) sets what this machine can tell.
constexpr double kJudgedWithinMs = 10;

// Plays loops 2 to 5 along with the window's notes as they are heard (recorded from the sink it
// plays into), and checks what it printed against the offsets played: as heard against the
// notes, a microphone's strokes as recorded too. onePad: a microphone's view, where a note of
// both voices is one stroke ("AB").
void playAlong(Window& window, Player& player, Onsets& notes, Onsets* strokes, bool onePad)
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
    // The snare's notes (1, 4, 5, 7, 8) begin sharply, the bass drum's a few milliseconds less
    // so: the sound's place on the beat is taken from the snare's, each note's moment from the
    // snare note nearest it.
    std::map<std::pair<int, int>, double> beats; // loop, note: how far off the grid it was heard
    // A sound that drifts slowly is followed (by the window, by the test); one that jumps is not.
    double last = NAN, lastAt = 0;
    for (int loop = 3; loop <= 5; ++loop)
        for (int note : { 1, 4, 5, 7, 8 }) {
            const auto heard = heardNotes.find({ loop, note });
            if (heard == heardNotes.end())
                GTEST_SKIP() << "the window's note " << note << " of loop " << loop
                             << " was not heard: its sound did not keep time here";
            const double beat = heard->second - grid(loop, noteTime(note));
            if (std::abs(beat - last) > 0.002 + 0.005 * (heard->second - lastAt))
                GTEST_SKIP() << "the window's sound jumped " << std::lround((beat - last) * 1000)
                             << " ms off the beat before note " << note << " of loop " << loop
                             << ": it did not keep time here";
            last = beats[{ loop, note }] = beat;
            lastAt = heard->second;
        }
    auto noteHeard = [&](int loop, int note) {
        const int snare = note == 2 ? 1 : note == 3 || note == 6 ? note - 1 : note;
        return grid(loop, noteTime(note)) + beats[{ loop, snare }];
    };

    // What was played, as an offset (ms) from the note heard (an extra from the loop's first).
    std::map<std::string, double> played;
    std::vector<std::pair<int, double>> extras;
    for (const Played& p : sent) {
        if (p.loop < 3)
            continue;
        const double note = noteHeard(p.loop, p.note ? p.note : 1);
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
        EXPECT_NEAR(d, median, kJudgedWithinMs) << [&] {
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

class Listening : public ::testing::Test {
protected:
    Rig rig;
    QString script() { return rig.file("along.drum"); }
    bool startServers()
    {
        if (!rig.startServers())
            return false;
        TempFolder::write(script(), kScript);
        return true;
    }
};

TEST_F(Listening, MidiStrokesThroughJack)
{
    if (!startServers() || !rig.startJack())
        GTEST_SKIP() << "jackd, Xvfb or PulseAudio is missing here: MIDI play-along not tried";
    Window window;
    // The window plays on the same JACK server, in its real-time thread.
    rig.startWindow(
        window, TAMBRIX_EXE, { "--audio-driver", "jack", "--listen", "midi", script() });
    ASSERT_TRUE(window.waitFor("listening to the virtual port Tambrix stand-in on JACK", 30))
        << window.all();
    MidiPlayer player;
    ASSERT_TRUE(player.connect());
    JackRecorder notes;
    ASSERT_TRUE(notes.open("fluidsynth")) << "the window's sound is not on JACK";
    playAlong(window, player, notes, nullptr, false);
}

TEST_F(Listening, MicrophoneStrokesThroughPulseAudio)
{
    if (!startServers())
        GTEST_SKIP() << "Xvfb or PulseAudio is missing here: microphone play-along not tried";
    Window window;
    rig.startWindow(window, TAMBRIX_EXE, { "--listen", "mic:pad.monitor", script() });
    ASSERT_TRUE(window.waitFor("listening to the microphone pad.monitor", 30)) << window.all();
    PadPlayer player;
    ASSERT_TRUE(player.open());
    PulseRecorder notes, strokes;
    ASSERT_TRUE(notes.open("play.monitor") && strokes.open("pad.monitor"));
    playAlong(window, player, notes, &strokes, true);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
