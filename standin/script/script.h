#pragma once

#include "notation.h"
#include "tambrix.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The stand-in host's reading of a test script: Windows-1252 text (or UTF-8 after its byte-order
// mark) whose lines end with CR LF, LF or CR; comment lines begin with "'"; a line of statements
// separated by ";" holds the settings ("SET name=value"); "RAW [new-rud]=" defines the pattern
// (statements may follow it after ";"); the line "[new-rud]" plays it. A comment line
// "' STICKING [name]=R,L,RL,,..." gives the hands of a pattern's notes (one entry per note: R, L,
// RL for both, or empty), which every host skips when it plays. Texts handed out here are UTF-8.
namespace standin {

inline constexpr std::string_view kPatternName = tambrix::kPatternName;

// The limits of what is read: a larger script, or a pattern of more notes, is refused while it is
// read, before anything is built from it.
inline constexpr std::size_t kMaxScriptBytes = std::size_t(4) << 20; // 4 MiB
inline constexpr std::size_t kMaxPatternNotes = 500000;
// What is shown of a script: so many rows of a table, so many bytes of a text.
inline constexpr std::size_t kMaxShownRows = 64;
inline constexpr std::size_t kMaxShownBytes = 160;

struct Setting {
    std::string name;
    std::string value;
    int line = 0; // 1-based
};

struct PatternNote {
    int number = 0; // 1-based
    std::string token; // as written in the script
    notation::Note note;
};

// A pattern definition "RAW [name]=..." other than the one the script plays; an INTRO or a
// TRANSITION setting may name it. Its notes are read when it is played (parsePatternNotes).
struct PatternDefinition {
    std::string name; // as written, with its brackets
    int line = 0; // 1-based
    std::string definition; // the whole line as written
};

// The sticking of one pattern, from its comment line: one entry per note from the first on, each
// "R", "L", "RL" or empty; notes beyond the last entry have none.
struct Sticking {
    std::string name; // as written, with its brackets
    int line = 0; // 1-based
    std::vector<std::string> hands;
};

struct Script {
    std::vector<Setting> settings;
    std::vector<std::string> ignored; // what the stand-in host passes over: the first notes
    std::size_t ignoredMore = 0; // and the number of notes beyond kMaxShownRows
    int definitionLine = 0; // the line "RAW [new-rud]=..."
    std::string definition; // that line as written
    int playLine = 0; // the first line "[new-rud]"
    std::vector<PatternNote> notes;
    std::vector<PatternDefinition> otherPatterns; // in the order of the script
    std::unordered_map<std::string, std::size_t> patternIndex; // upper-case name: its index
    std::vector<Sticking> stickings; // of defined patterns, in the order of the script
};

// Reads the script's bytes. On a malformed script it returns false and sets error to a message
// that names the line and what is wrong.
bool parseScript(std::string_view bytes, Script& script, std::string& error);

// Reads the notes of a definition line "RAW [name]=...". On a note that the notation does not
// accept, or on no notes at all, it returns false and sets error to a message naming the line.
bool parsePatternNotes(int line, std::string_view definition, std::string_view name,
    std::vector<PatternNote>& notes, std::string& error);

// The other definition whose name matches, without regard to case ("[fill]" or "fill"); null
// if there is none. The played pattern "[new-rud]" is not among them.
const PatternDefinition* findPattern(const Script& script, std::string_view name);

// The sticking given for the pattern of that name (any case, brackets optional; "[new-rud]" for
// the played one); null if the script gives none.
const Sticking* findSticking(const Script& script, std::string_view name);

// The comment line that gives a pattern's sticking: "' STICKING [name]=R,L,,RL" (no line end).
std::string stickingLine(std::string_view name, const std::vector<std::string>& hands);

// The text, cut to about kMaxShownBytes with the number of its bytes (at a character's start).
std::string shown(std::string_view text);

// The settings, one per line, as "name = value" (the first kMaxShownRows of them).
std::string formatSettings(const Script& script);

// The pattern as a table: note number, token, type, volume, flam and voices (the first
// kMaxShownRows notes, then the number of the others).
std::string formatPattern(const Script& script);

} // namespace standin
