#pragma once

#include "practiceschedule.h"
#include "strokematch.h"

// What the practice window's schedule asks the drummer to play, handed to a StrokeMatcher as the
// schedule is built and taken (a stroke's time is fixed once its events have been taken).
namespace standin {

// The voices whose TRACKVOICES(1) key a note-on is, drum families counting as one (a snare's
// 38 and 40, a bass drum's 35 and 36, a hi-hat's 42, 44 and 46); 0 for a key of no voice.
unsigned voicesForKey(const ScriptHeader& header, int key);

// The voices that sound anywhere in the schedule (intro, pattern, transition).
unsigned soundingVoices(const PracticeSchedule& schedule);

// The pattern's plain volume: the one most of its sounding notes have (the lower on a tie); a
// louder note is an accent, a softer one a ghost note.
int plainVolume(const std::vector<PatternNote>& notes);

class ExpectedFeed {
public:
    void reset();
    // Hands the matcher the loops and strokes the schedule has fixed since the last call, how
    // far it is known, and its end once it has one.
    void feed(const PracticeSchedule& schedule, StrokeMatcher& matcher);

private:
    double mDoneUntil = -1e9;
    bool mFinished = false;
};

} // namespace standin
