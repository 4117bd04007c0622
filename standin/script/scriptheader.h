#pragma once

#include "script.h"

#include <array>
#include <string>
#include <vector>

// The stand-in host's reading of a test script's header settings (SET NAME=VALUE).
namespace standin {

// The header's limits: a value outside them is a malformed script.
inline constexpr int kMinTempo = 10; // quarter notes per minute; TEMPOCHANGE never goes below
inline constexpr int kMaxTempo = 1000; // nor above this
inline constexpr int kMaxRepeats = 1000;
inline constexpr int kMaxTempoChange = 1000; // either way, per repeat
inline constexpr int kMaxNoteTicks = 3840; // ATICKS to FTICKS: 1 to 8 whole notes
inline constexpr int kMaxBeatsPerBar = 32; // TIMESIG n/d: n from 1 to 32, d one of 1 to 32

struct ScriptHeader {
    int program = 0; // TRACKINSTRUMENT(1)
    std::array<int, notation::kVoiceCount> voiceKeys { 40, 35, 42, 46, 50, 45 }; // TRACKVOICES(1)
    bool playBeat = false;
    bool playBar = false;
    std::vector<PatternNote> intro; // empty: none
    std::vector<PatternNote> transition;
    std::string introName; // as its RAW line writes it, with the brackets ("[count]")
    std::string transitionName;
    int beatsPerBar = 0; // TIMESIG n/d; 0 when there is none
    int beatUnit = 0;
    int tempo = 100;
    int repeats = 1;
    int tempoChange = 0;
    std::array<int, 6> letterTicks { 120, 120, 120, 120, 120, 120 }; // ATICKS to FTICKS
};

// Reads the settings in the order of the script (a later one of the same name wins) and the
// patterns that INTRO and TRANSITION name. An unknown name adds one notice per name. On a
// malformed value it returns false and sets error to a message that names the line.
bool readScriptHeader(const Script& script, ScriptHeader& header, std::vector<std::string>& notices,
    std::string& error);

} // namespace standin
