#pragma once

#include "performance.h"

#include <cstdint>
#include <string>
#include <vector>

// A performance as a Standard MIDI File: format 0, one track, 480 ticks to a quarter note.
namespace standin {

inline constexpr int kMidiTicksPerQuarter = 480;
// The farthest an event of the file may lie from its time in the performance.
inline constexpr double kMidiToleranceSeconds = 0.0009;

// The file's bytes. The track holds the pattern's name, the time signature of its bars, the
// performance's tempo changes, its program change and its notes on their channel, then the end
// of the track at the performance's end. The performance's start (after its lead-in) falls on a
// bar line: tick 0, or the second bar when a grace note comes before it (a bar of count-in). Each
// event goes to the tick nearest its time through the tempo map. Where that tick would miss the
// time by more than kMidiToleranceSeconds (possible below about 70 quarter notes per minute, where
// a tick lasts longer than 1.8 ms), a tempo change makes the one tick before the event as long as
// needed, and a second one at the event restores the tempo.
std::vector<std::uint8_t> midiFileBytes(const Performance& performance);

} // namespace standin
