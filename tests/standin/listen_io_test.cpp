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
#include <QSettings>
#include <cstdio>
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

// How far each printed offset may be from the one played, beyond the run's common latency: MIDI
// comes a JACK period late at most (1.5 ms here) and is timed when it comes; a microphone's onset
// is found within a hop (3 ms) and timed by its stream's sample clock. A run where the window's
// sound did not keep time is skipped, not judged (the dummy driver and a null sink lose time in
// steps on a loaded machine).
constexpr double kMidiWithinMs = 3;
constexpr double kMicWithinMs = 6;
// How far apart two of the window's snare notes may be heard, off their beat, for the sound to
// have kept time between them (the window follows a sound that moves, within a quarter second).
constexpr double kSteadyMs = 1.5;

// Plays loops 2 to 5 along with the window's notes as they are heard (recorded from the sink it
// plays into), and checks what it printed against the offsets played: as heard against the
// notes, a microphone's strokes as recorded too. onePad: a microphone's view, where a note of
// both voices is one stroke ("AB").
void playAlong(
    Window& window, Player& player, Onsets& notes, Onsets* strokes, bool onePad, double withinMs)
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
    // The window's notes heard from loop 1 on, each on its eighth note counted from loop 1's
    // first, and how far off the grid it was (following the sound as it wanders: a loaded
    // machine's sound may fall behind, or stall for a moment). What was heard before (the
    // count-in, the sound's start) and sounds off the grid are left out.
    struct Slotted {
        long slot;
        double at, drift;
    };
    auto slotted = [&] {
        std::vector<Slotted> heard;
        double drift = 0;
        for (double onset : notes.onsets()) {
            if (onset < first - 0.15)
                continue;
            const long slot = std::lround((onset - first - drift) / 0.3);
            const double off = onset - first - slot * 0.3;
            if (std::abs(off - drift) > 0.1)
                continue;
            drift = off;
            heard.push_back({ slot, onset, drift });
        }
        return heard;
    };
    // Where a note will be heard: on the grid, moved as far as the notes heard last were.
    auto heardAt = [&](int loop, double within) {
        const std::vector<Slotted> heard = slotted();
        return grid(loop, within) + (heard.empty() ? 0 : heard.back().drift);
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
    for (const Slotted& note : slotted())
        heardNotes[{ int(note.slot / 8) + 1, int(note.slot % 8) + 1 }] = note.at;
    // The snare's notes (1, 4, 5, 7, 8) begin sharply, the bass drum's a few milliseconds less
    // so: the sound's place on the beat is taken from the snare's, each note's moment from the
    // snare note before it. A sound that drifts slowly is followed (by the window, by the test);
    // one that jumps (a timer of the server's that woke late and lost time) is not, for a quarter
    // of a second: a stroke is judged for its timing only where the snare's notes were heard on
    // the same beat from the one before its note to the one after it.
    const std::vector<int> snares = { 1, 4, 5, 7, 8 };
    std::vector<std::pair<double, double>> snareBeats; // on the grid; how far off it was heard
    for (int loop = 2; loop <= 6; ++loop)
        for (int note : snares) {
            const auto heard = heardNotes.find({ loop, note });
            const double at = grid(loop, noteTime(note));
            snareBeats.push_back({ at, heard == heardNotes.end() ? NAN : heard->second - at });
        }
    auto snareBefore = [&](double at) {
        std::size_t i = 0;
        while (i + 1 < snareBeats.size() && snareBeats[i + 1].first <= at + 1e-6)
            ++i;
        return i;
    };
    // From the snare note before the one at or before `from` to the first at or after `to`.
    auto steady = [&](double from, double to) {
        const std::size_t start = std::max<std::size_t>(snareBefore(from), 1) - 1;
        for (std::size_t k = start; k < snareBeats.size(); ++k) {
            const auto [at, beat] = snareBeats[k];
            if (std::isnan(beat)
                || (k > start && std::abs(beat - snareBeats[k - 1].second) > kSteadyMs / 1000))
                return false;
            if (at >= to)
                return true;
        }
        return false;
    };
    auto noteHeard = [&](int loop, int note) {
        const double at = grid(loop, noteTime(note));
        return at + snareBeats[snareBefore(at)].second;
    };

    // What was played, as an offset (ms) from the note heard (an extra from the loop's first);
    // the keys of those whose timing can be judged.
    std::map<std::string, double> played;
    std::vector<std::pair<int, double>> extras;
    std::set<std::string> judged;
    std::vector<bool> extraJudged;
    for (const Played& p : sent) {
        if (p.loop < 3)
            continue;
        const double note = noteHeard(p.loop, p.note ? p.note : 1);
        const double stroke = strokes ? strokes->near(p.target) : p.actual;
        ASSERT_TRUE(stroke) << "loop " << p.loop << " note " << p.note << " not heard";
        const bool timed = !std::isnan(note)
            && steady(grid(p.loop, noteTime(p.note ? p.note : 1)), p.target)
            && !notes.takenLate(p.actual);
        const std::string key = std::to_string(p.loop) + "/" + std::to_string(p.note) + "/"
            + letters(p.note, p.voice);
        if (p.note) {
            played[key] = (stroke - note) * 1000;
            if (timed)
                judged.insert(key);
        } else {
            extras.push_back({ p.loop, (stroke - note) * 1000 });
            extraJudged.push_back(timed);
        }
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
    std::vector<std::pair<std::string, double>> differences; // a stroke's key, ms
    for (const auto& [key, ms] : heard)
        if (played.count(key) && judged.count(key))
            differences.push_back({ key, ms - played[key] });
    for (std::size_t i = 0; i < extras.size(); ++i) {
        EXPECT_EQ(extrasHeard[i].first, extras[i].first);
        if (extraJudged[i])
            differences.push_back({ std::to_string(extras[i].first) + "/extra",
                extrasHeard[i].second - extras[i].second });
    }
    const std::size_t strokeCount = played.size() + extras.size();
    if (2 * differences.size() < strokeCount)
        GTEST_SKIP() << "the window's sound did not keep time here: only " << differences.size()
                     << " of the " << strokeCount << " strokes fell where it did";
    std::vector<double> sorted;
    for (const auto& [key, ms] : differences)
        sorted.push_back(ms);
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::printf("%zu of %zu strokes judged; each offset printed less the one played, less their "
                "median (ms):",
        differences.size(), strokeCount);
    for (const auto& [key, ms] : differences)
        std::printf(" %s %+.1f", key.c_str(), ms - median);
    std::printf("\n");
    for (const auto& [key, ms] : differences)
        EXPECT_NEAR(ms, median, withinMs) << key;
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
    // The window listening to MIDI and playing on the same JACK server (in its real-time
    // thread), the test's kit connected to its virtual port and its sound recorded.
    void startMidiWindow(Window& window, MidiPlayer& player, JackRecorder& sound)
    {
        rig.startWindow(
            window, TAMBRIX_EXE, { "--audio-driver", "jack", "--listen", "midi", script() });
        ASSERT_TRUE(window.waitFor("listening to the virtual port Tambrix stand-in on JACK", 30))
            << window.all();
        ASSERT_TRUE(player.connect());
        ASSERT_TRUE(sound.open("fluidsynth")) << "the window's sound is not on JACK";
    }
};

TEST_F(Listening, MidiStrokesThroughJack)
{
    if (!startServers() || !rig.startJack())
        GTEST_SKIP() << "jackd, Xvfb or PulseAudio is missing here: MIDI play-along not tried";
    Window window;
    MidiPlayer player;
    JackRecorder notes;
    ASSERT_NO_FATAL_FAILURE(startMidiWindow(window, player, notes));
    playAlong(window, player, notes, nullptr, false, kMidiWithinMs);
    EXPECT_TRUE(window.stop()) << "the window did not end cleanly on SIGTERM";
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
    playAlong(window, player, notes, &strokes, true, kMicWithinMs);
    EXPECT_TRUE(window.stop()) << "the window did not end cleanly on SIGTERM";
}

// Input > Calibrate... typed into the window (Alt+I, C), as a drummer would: a stroke 30 ms after
// each click heard. The latency kept is theirs, give or take the few milliseconds the window's
// reckoning of its sound path differs from the recording's.
TEST_F(Listening, CalibrationKeepsTheStrokesMedianOffset)
{
    const QString xdotool = QStandardPaths::findExecutable("xdotool");
    if (!startServers() || !rig.startJack() || xdotool.isEmpty())
        GTEST_SKIP() << "jackd, Xvfb, PulseAudio or xdotool is missing here: calibration not tried";
    Window window;
    MidiPlayer player;
    JackRecorder clicks;
    ASSERT_NO_FATAL_FAILURE(startMidiWindow(window, player, clicks));
    ASSERT_TRUE(window.waitFor("Playing along.drum", 30)) << window.all();
    QProcess keys;
    keys.setProcessEnvironment(rig.env);
    keys.start(xdotool,
        { "search", "--sync", "--name", "Tambrix stand-in", "windowfocus", "--sync", "key",
            "--delay", "300", "alt+i", "c" });
    ASSERT_TRUE(keys.waitForFinished(20000) && keys.exitCode() == 0) << keys.readAll().data();
    ASSERT_TRUE(window.waitFor("Calibrating", 10)) << window.all();
    std::size_t answered = clicks.onsets().size();
    const auto calibrated = [&] { return !window.lines.filter("Calibrated midi").isEmpty(); };
    const double until = now() + 30;
    while (now() < until && !calibrated()) {
        window.pump(1);
        const std::vector<double> heard = clicks.onsets();
        for (; answered < heard.size(); ++answered)
            player.play(heard[answered] + 0.030, 'A');
    }
    ASSERT_TRUE(calibrated()) << window.all();
    EXPECT_TRUE(window.stop()) << "the window did not end cleanly on SIGTERM";
    // Remembered for that input, in the window's settings.
    const QSettings settings(rig.file("config/Rudimix/tambrix-practice.ini"), QSettings::IniFormat);
    EXPECT_NEAR(settings.value("listen/latency/midi", -1000).toDouble(), 30, 10) << window.all();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
