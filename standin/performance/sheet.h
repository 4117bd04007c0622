#pragma once

#include "performance.h"

#include <array>
#include <string>
#include <vector>

// The pattern as drummers read it: the performance of a script written on a five-line percussion
// staff, measure by measure, in two voices (hands stems up, feet stems down). Pure C++, no
// drawing: the MusicXML writer and the window's staff both lay out this model. Positions are in
// staff steps, lengths in the script's ticks (120 to a quarter note).
namespace standin::sheet {

// Staff steps count the lines and spaces from the bottom line (E4) up: 0 the bottom line, 1 the
// first space (F4), 4 the middle line (B4), 8 the top line (F5), 9 the space above it (G5), -1 the
// space below the staff (D4).
inline constexpr int kBottomLine = 0;
inline constexpr int kTopLine = 8;

enum class Head { Normal, X, CircledX, Slash, Diamond, Triangle };
enum class Voice { Upper, Lower }; // the hands, stems up; the feet, stems down
inline constexpr int kVoices = 2;

// Where the drum set's key sits on the staff and how its notehead looks.
struct Placement {
    int step = 4;
    Head head = Head::Triangle;
    bool open = false; // an "o" above the note (the open hi-hat)
    Voice voice = Voice::Upper;
    bool known = false; // false: a key the drum set has no place for (named in the legend)
};
Placement placeKey(int key);

// The note a step stands for as the treble clef reads it ('C' and 5 for step 5), as MusicXML
// places an unpitched note.
char stepLetter(int step);
int stepOctave(int step);

// A written length: a note type (1 whole, 2 half, 4 quarter ... 64), its dots and, in a tuplet,
// actual notes in the time of normal ones. ticks is what it lasts.
struct Written {
    int ticks = 0;
    int type = 4;
    int dots = 0;
    int actual = 1;
    int normal = 1;
    bool tuplet() const { return actual != normal; }
    friend bool operator==(const Written&, const Written&) = default;
};

// How a note of that many ticks is written: a plain or dotted value (whole to 32nd); a value
// tied to a second one; whole notes tied for a note longer than a whole; else the smallest plain
// value not shorter than the note, in a tuplet whose ratio makes it last exactly its ticks (40
// ticks: an eighth, 3 in the time of 2; 18: a 16th, 5 in the time of 3).
std::vector<Written> spell(int ticks);

// The beams of a note type: 1 for an eighth, 2 for a 16th, 3 for a 32nd, 4 for a 64th.
int beamCount(int type);

enum class Beam { None, Begin, Continue, End, ForwardHook, BackwardHook };
enum class Dynamic { Ghost, Plain, Accent }; // volume 1 to 3, 4 to 6, 7 to 9

// One notehead.
struct Stroke {
    int key = 0;
    int step = 4;
    Head head = Head::Normal;
    bool open = false;
};

// A note (one or more noteheads on one stem) or a rest, in one voice of one measure.
struct Element {
    long long tick = 0; // from the start of its measure
    Written length;
    bool rest = false;
    bool wholeMeasure = false; // a rest that fills the measure
    std::vector<Stroke> strokes; // lowest step first; none for a rest
    Dynamic dynamic = Dynamic::Plain;
    bool flam = false; // a slashed eighth grace note with the same strokes before it, slurred to it
    bool tiedFromPrevious = false; // a continuation: no dynamic, flam or sticking of its own
    bool tiedToNext = false;
    // The pattern's note (0-based, in its section) that sounds here, or whose time this rest
    // fills; -1 for the silence that pads the last bar.
    int note = -1;
    std::string sticking; // "R", "L", "RL" or empty; on the first element of a note only
    std::array<Beam, 4> beams {}; // levels 1 (eighth) to 4 (64th)
    int tuplet = -1; // index into its voice's tuplets
};

// A bracket over elements first to last of one voice: "actual" (or "actual:normal" where
// ratioShown) over notes written in normalType units.
struct Tuplet {
    int first = 0;
    int last = 0;
    int actual = 3;
    int normal = 2;
    int normalType = 8;
    bool ratioShown = false;
};

struct VoiceBar {
    std::vector<Element> elements; // in time order, filling the measure; empty: the voice is unused
    std::vector<Tuplet> tuplets;
};

struct Measure {
    int number = 1; // from 1, through the whole sheet
    int section = 0; // index into Sheet::sections
    long long start = 0; // ticks from the start of its section
    long long ticks = 480;
    int beats = 4; // its time signature
    int beatType = 4;
    bool showTime = false; // written at its start: the first measure, or a change
    std::array<VoiceBar, kVoices> voices; // by Voice
    bool repeatStart = false; // a forward repeat sign at its start
    bool repeatEnd = false; // a backward repeat sign at its end, played repeatTimes in all
    int repeatTimes = 0;
    std::string repeatText; // "×3", over the backward repeat sign
    // A volta: the passes that play it ("1, 2") and its label ("1.–2."), from the measure where it
    // starts to the one where it stops.
    std::string endingNumbers;
    std::string endingText;
    bool endingStart = false;
    bool endingStop = false;
};

struct Section {
    SectionKind kind = SectionKind::Pattern;
    std::string name; // as its RAW line writes it: "[new-rud]"
    std::string mark; // the rehearsal mark: "Intro [count]", "Pattern [new-rud]"
    std::string raw; // its RAW line, as written
    int notes = 0; // the pattern's notes, rests included
    int firstMeasure = 0; // index into Sheet::measures
    int measureCount = 0;
};

struct LegendEntry {
    int key = 0;
    std::string name; // its General MIDI name
};

struct Sheet {
    std::string title; // the played pattern's name without its brackets: "new-rud"
    int tempo = 100; // quarter notes per minute, of the first repeat: "♩ = 100"
    std::string tempoText; // the change per repeat, "+10 per repeat"; empty when none
    int repeats = 1;
    int program = 0; // the MIDI program (drum kit), 0 to 127
    std::vector<Section> sections; // in the order they play
    std::vector<Measure> measures;
    std::vector<int> keys; // every key that sounds, lowest first (one instrument each)
    std::vector<LegendEntry> legend; // the keys without a place of their own
    // A voice that sounds nowhere has no elements (the upper one has rests when neither sounds).
    std::array<bool, kVoices> voiceUsed {};
};

// Builds the sheet of the script as the host plays it (with or without TIMESIG, as
// noTimeSignature says). On a script that the host would not play it returns false and sets error
// as buildPerformance does.
bool buildSheet(const Script& script, bool noTimeSignature, Sheet& sheet, std::string& error);

// The measure of a section (as PracticeSchedule::locate names it) that holds the tick; -1 if none.
int measureAt(const Sheet& sheet, SectionKind kind, double tick);

} // namespace standin::sheet
