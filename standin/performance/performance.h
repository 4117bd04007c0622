#pragma once

#include "script.h"

#include <string>
#include <vector>

// What the stand-in host plays for a test script: a list of timed MIDI events, worked out from
// the script's header settings and its RAW definitions. Pure C++, no sound: the synthesiser
// (live or into a WAV file) and the MIDI file writer both take this list as it is.
namespace standin {

inline constexpr int kDrumChannel = 9; // 0-based: MIDI channel 10

// The parts of a performance: the intro once, the pattern each repeat, the transition between.
enum class SectionKind { Intro, Pattern, Transition };

struct MidiEvent {
    enum class Type { NoteOn, NoteOff, ProgramChange, Tempo };
    double seconds = 0; // from the start of the performance
    Type type = Type::NoteOn;
    int channel = kDrumChannel;
    int key = 0; // NoteOn, NoteOff: the key; ProgramChange: the program
    int velocity = 0; // NoteOn: 1 to 127
    int microsPerQuarter = 0; // Tempo: the tempo from here on
};

struct Performance {
    // A note's key is held for the note's length (a grace note until its main note, a click for
    // its beat) and released earlier when the same key sounds again; one key struck twice at
    // the same time sounds once, at the louder velocity.
    // Sorted by time; events at the same time keep their order (a note-off before a note-on of
    // the same key, a tempo or program change before the notes it governs). Every NoteOn has a
    // NoteOff of the same key and channel after it.
    std::vector<MidiEvent> events;
    double endSeconds = 0; // the end of the last note or padded bar; the tail is not included
    double startSeconds = 0; // where the first pattern (or intro) begins: after the lead-in
    std::string name; // the played pattern's name without its brackets: "new-rud"
    int beatsPerBar = 4; // the bars it is counted in: TIMESIG unless -notimesig, else 4/4
    int beatUnit = 4;
    // What the caller should log, one item per unknown setting name ("line 3: ..."); the
    // performance is built without them.
    std::vector<std::string> notices;
};

// The performance's limits (the header's values have theirs in scriptheader.h): together they
// keep a hostile script from making the host play for days or fill its memory.
inline constexpr double kMaxSeconds = 3600; // the whole performance
inline constexpr long kMaxNotes = 500000; // sounded notes (grace notes and clicks included)

inline constexpr int kTicksPerQuarter = 120; // of the script's note types
inline constexpr double kLeadInSeconds = 0.050; // silence before the first note
inline constexpr double kFlamSeconds = 0.030; // a grace note sounds this long before its note
inline constexpr int kBeatClickKey = 77;
inline constexpr int kBarClickKey = 76;
inline constexpr int kClickVelocity = 100;

// The velocities of the clicks: the beat's and the first beat of a bar's (PLAYBAR's, or the
// accent of the practice window's click); 0 leaves that click out.
struct ClickLevels {
    int beat = kClickVelocity;
    int bar = kClickVelocity;
};

// Builds the performance. On a malformed header value or an unknown INTRO/TRANSITION name it
// returns false and sets error to a message that names the line and what is wrong.
bool buildPerformance(
    const Script& script, bool noTimeSignature, Performance& performance, std::string& error);

} // namespace standin

namespace standin {

struct ScriptHeader;

// The length in ticks of a note of type res (1 to 15) under the header's ATICKS to FTICKS.
int noteTicks(const ScriptHeader& header, int res);

// One section of a performance on its own (the pattern once, an intro or a transition), for a
// player that builds the sections as it reaches them: its notes from start seconds on at the
// tempo, with the beat and bar clicks that the header asks for when clicks is true, at the
// levels given. Appends the section's events, sorted as in a performance, and returns its length
// in ticks, padded to whole bars of TIMESIG unless noTimeSignature.
long long buildSection(const ScriptHeader& header, bool noTimeSignature,
    const std::vector<PatternNote>& notes, int tempo, bool clicks, double start,
    std::vector<MidiEvent>& events, ClickLevels levels = {});

// The ticks of a beat and the beats of a bar that the header's TIMESIG gives (4/4 without one
// or with noTimeSignature).
int beatTicks(const ScriptHeader& header, bool noTimeSignature);
int barBeats(const ScriptHeader& header, bool noTimeSignature);

// Sorts events as a performance holds them: by time, and at the same time a tempo change before
// a program change before a note-off before a note-on.
void sortEvents(std::vector<MidiEvent>& events);

} // namespace standin
