#pragma once

#include "script.h"

#include <string>
#include <vector>

// What the stand-in host plays for a test script: a list of timed MIDI events, worked out from
// the script's header settings and its RAW definitions. Pure C++, no sound: the synthesiser
// (live or into a WAV file) and the MIDI file writer both take this list as it is.
namespace standin {

inline constexpr int kDrumChannel = 9; // 0-based: MIDI channel 10

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
    // Sorted by time; events at the same time keep their order (a note-off before a note-on of
    // the same key, a tempo or program change before the notes it governs). Every NoteOn has a
    // NoteOff of the same key and channel after it.
    std::vector<MidiEvent> events;
    double endSeconds = 0; // the end of the last note or padded bar; the tail is not included
};

// Builds the performance. On a malformed header value or an unknown INTRO/TRANSITION name it
// returns false and sets error to a message that names the line and what is wrong.
bool buildPerformance(
    const Script& script, bool noTimeSignature, Performance& performance, std::string& error);

} // namespace standin
