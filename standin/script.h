#pragma once

#include "notation.h"

#include <string>
#include <string_view>
#include <vector>

// The stand-in host's reading of a test script: Windows-1252 text whose every line ends with
// CR LF; comment lines begin with "'"; a line of statements separated by ";" holds the settings
// ("SET name=value"); "RAW [new-rud]=" defines the pattern; the line "[new-rud]" plays it.
// Texts handed out here are UTF-8.
namespace standin {

inline constexpr std::string_view kPatternName = "[new-rud]";

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

struct Script {
    std::vector<Setting> settings;
    std::vector<std::string> ignored; // what the stand-in host passes over, one note per item
    int definitionLine = 0; // the line "RAW [new-rud]=..."
    std::string definition; // that line as written
    int playLine = 0; // the first line "[new-rud]"
    std::vector<PatternNote> notes;
    std::vector<PatternDefinition> otherPatterns; // in the order of the script
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

// The settings, one per line, as "name = value".
std::string formatSettings(const Script& script);

// The pattern as a table: note number, token, type, volume, flam and voices.
std::string formatPattern(const Script& script);

} // namespace standin
