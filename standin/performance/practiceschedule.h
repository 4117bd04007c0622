#pragma once

#include "performance.h"
#include "scriptheader.h"

#include <array>
#include <deque>
#include <string>
#include <vector>

// What the practice window plays: the script's performance built a section at a time as the
// player reaches it, so that it can loop without end and take a new tempo or click setting from
// the next note on. Pure C++, no sound: times are seconds from the start, as in a Performance.
namespace standin {

class PracticeSchedule {
public:
    // Reads the script's header (as buildPerformance does); false, with error set, when it is
    // malformed. The tempo and click start as the script says; the loop setting is kept.
    bool load(const Script& script, bool noTimeSignature, std::string& error);

    const ScriptHeader& header() const { return mHeader; }
    const std::vector<PatternNote>& notes(SectionKind kind) const;
    // The pattern's name as its RAW line writes it, with the brackets ("[new-rud]", "[fill]").
    const std::string& name(SectionKind kind) const { return mNames[int(kind)]; }
    bool noTimeSignature() const { return mNoTimeSignature; }

    // Back to the top: nothing taken yet.
    void restart();

    // Loop: the pattern plays until stopped, REPEATS ignored, the intro once at the start and the
    // transition between loops; TEMPOCHANGE applies to each loop within kMinTempo..kMaxTempo.
    void setLoop(bool loop) { mLoop = loop; }
    bool loop() const { return mLoop; }
    // The tempo of the first repeat (clamped to kMinTempo..kMaxTempo) and the beat click; both
    // apply from the first note whose events have not been taken.
    void setTempo(int tempo);
    int tempo() const { return mTempo; }
    void setClick(bool click);
    bool click() const { return mClick; }

    // Takes the events before the time, in order. Empty once everything has been taken.
    std::vector<MidiEvent> take(double until);
    bool finished() const;
    // The time up to which events have been taken.
    double taken() const { return mTaken; }
    // The end of the last section, once the schedule has been built to its end; else -1.
    double endSeconds() const;

    struct Position {
        bool inside = false; // false before the start and after the end
        SectionKind kind = SectionKind::Pattern;
        int repeat = 0; // from 0; a transition counts with the repeat that follows it
        int tempo = 0;
        double tick = 0; // from the section's start
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
    void buildNext();
    void add(std::vector<MidiEvent> events);
    void rebuildFromNextNote();

    ScriptHeader mHeader;
    std::vector<PatternNote> mPattern;
    std::string mNames[3]; // by SectionKind
    bool mNoTimeSignature = false;
    bool mLoop = false;
    bool mClick = false;
    int mTempo = 100;
    std::deque<Built> mBuilt; // the sections built, the last few kept
    std::vector<MidiEvent> mPending; // built, not taken, sorted
    double mTaken = 0;
};

} // namespace standin
