#pragma once

#include "performance.h"
#include "scriptheader.h"

#include <array>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// What the practice window plays: the script's performance built a section at a time as the
// player reaches it, so that it can loop without end and take a new tempo or click setting from
// the next note on. Every repeat plays at the one tempo set (TEMPOCHANGE is the console's; a
// speed trainer sets a tempo per loop through setLoopTempo). Pure C++, no sound: times are
// seconds from the start, as in a Performance.
namespace standin {

// The practice window's click level (velocity) at first: it peaks about 6 dB under the kit's
// plain notes at volume 5 (bench/practice-click.sh measures it).
inline constexpr int kDefaultClickLevel = 45;

class PracticeSchedule {
public:
    // Reads the script's header (as buildPerformance does); false, with error set, when it is
    // malformed. The tempo and click start as the script says; Loop, the click's level, the
    // count-in and the loop tempo are kept.
    bool load(const Script& script, bool noTimeSignature, std::string& error);

    const ScriptHeader& header() const { return mHeader; }
    const std::vector<PatternNote>& notes(SectionKind kind) const;
    // The pattern's name as its RAW line writes it, with the brackets ("[new-rud]", "[fill]").
    const std::string& name(SectionKind kind) const { return mNames[int(kind)]; }
    bool noTimeSignature() const { return mNoTimeSignature; }

    // Back to the top: nothing taken yet.
    void restart();

    // Loop: the pattern plays until stopped, REPEATS ignored, the intro once at the start and the
    // transition between loops.
    void setLoop(bool loop) { mLoop = loop; }
    bool loop() const { return mLoop; }
    // The tempo (clamped to kMinTempo..kMaxTempo) that every repeat, intro and transition plays
    // at, the beat click and the click's level (the beat click's velocity, 0 to 127; the first
    // beat of a bar sounds accented, PLAYBAR's bar click at the same accent): each applies from
    // the first note whose events have not been taken.
    void setTempo(int tempo);
    int tempo() const { return mTempo; }
    void setClick(bool click);
    bool click() const { return mClick; }
    void setClickLevel(int level);
    int clickLevel() const { return mClickLevel; }
    // Count-in: after restart(), one bar of clicks (TIMESIG, else 4/4) at the first repeat's
    // tempo before the first note, at the click's level, whether the click is on or not.
    void setCountIn(bool countIn) { mCountIn = countIn; }
    bool countIn() const { return mCountIn; }

    // The speed trainer's hook: the tempo of each repeat (loop) from 0, given the tempo set; a
    // transition plays at the tempo of the repeat before it. Without one (the default), every
    // repeat plays at tempo(). Setting it, again too when its answers change, rebuilds from
    // the first note whose events have not been taken; the answer is clamped to
    // kMinTempo..kMaxTempo.
    using LoopTempo = std::function<int(int repeat, int tempo)>;
    void setLoopTempo(LoopTempo loopTempo);

    // Takes the events before the time, in order. Empty once everything has been taken.
    std::vector<MidiEvent> take(double until);
    bool finished() const;
    // The time up to which events have been taken.
    double taken() const { return mTaken; }
    // The end of the last section, once the schedule has been built to its end; else -1.
    double endSeconds() const;

    struct Position {
        bool inside = false; // false before the start (the count-in too) and after the end
        SectionKind kind = SectionKind::Pattern;
        int repeat = 0; // from 0; a transition counts with the repeat that follows it
        int tempo = 0; // inside, or in the count-in
        double tick = 0; // from the section's start
        int countIn = 0; // the count-in's beat from 1 while it sounds, else 0
    };
    Position locate(double seconds) const;

private:
    // A stretch of a section at one tempo, from a tick on.
    struct Piece {
        long long tick = 0;
        double seconds = 0;
        int tempo = 0;
    };
    struct Built {
        SectionKind kind = SectionKind::Pattern;
        int repeat = 0;
        long long ticks = 0;
        std::vector<Piece> pieces; // at least one
        double end() const;
        double secondsAt(long long tick) const;
    };

    int tempoOf(SectionKind kind, int repeat) const;
    bool next(SectionKind& kind, int& repeat) const;
    ScriptHeader windowHeader() const;
    ClickLevels clickLevels() const;
    void buildCountIn();
    void retimeCountIn();
    std::vector<MidiEvent> countInEvents() const;
    void buildNext();
    void add(std::vector<MidiEvent> events);
    void rebuildFromNextNote();

    ScriptHeader mHeader;
    std::vector<PatternNote> mPattern;
    std::string mNames[3]; // by SectionKind
    bool mNoTimeSignature = false;
    bool mLoop = false;
    bool mClick = false;
    int mClickLevel = kDefaultClickLevel;
    bool mCountIn = false;
    int mTempo = 100;
    LoopTempo mLoopTempo;
    // The count-in since restart(): its beats' times, its tempo and its end, where the first
    // section begins; mStart < 0 until the first section has been built.
    std::vector<double> mCountInBeats;
    int mCountInTempo = 0;
    double mStart = -1;
    std::deque<Built> mBuilt; // the sections built, the last few kept
    std::vector<MidiEvent> mPending; // built, not taken, sorted
    double mTaken = 0;
};

} // namespace standin
