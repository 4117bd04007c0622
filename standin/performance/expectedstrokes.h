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

// What a schedule that plays elsewhere (on the practice window's sound thread) has fixed: the
// notes and sections' starts whose events have been taken, in order, how far, and its end.
struct ScheduleProgress {
    unsigned play = 0; // which play it belongs to
    std::vector<PracticeSchedule::NoteTime> notes;
    std::vector<PracticeSchedule::SectionStart> starts;
    double taken = 0;
    bool finished = false;
    double end = -1;

    // Adds what the schedule has fixed from a time on (its taken() then) to now.
    void add(const PracticeSchedule& schedule, double from);
    // Takes the other's notes and starts (a later stretch of the same play) and its state.
    void append(ScheduleProgress&& later);
    // Forgets the notes and starts before a time.
    void forget(double before);
};

class ExpectedFeed {
public:
    // from: the notes and loops before it are not given.
    void reset(double from = -1e9);
    // Hands the matcher the loops and strokes the schedule has fixed since the last call, how
    // far it is known, and its end once it has one.
    void feed(const PracticeSchedule& schedule, StrokeMatcher& matcher);
    // The same from a schedule that plays elsewhere: its notes are shown's (the same script).
    void feed(
        const ScheduleProgress& progress, const PracticeSchedule& shown, StrokeMatcher& matcher);

private:
    double mDoneUntil = -1e9;
    bool mFinished = false;
};

} // namespace standin
