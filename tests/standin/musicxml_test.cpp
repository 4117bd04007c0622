#include "musicxml.h"

#include <QXmlStreamReader>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>

// The MusicXML of three scripts (the editor's start-up pattern, a groove of bass drum, snare and
// hi-hat, a 6/8 pattern with an intro and a transition), read back: well-formed, every element's
// children among those the MusicXML 3.1 DTD allows it and in its order (Debian ships no MusicXML
// DTD or schema to validate against), every voice of every measure as long as its time signature
// says.
namespace {

using namespace standin::sheet;

// A parent's children in the DTD's order (names at one rank may come in any order); unordered
// parents take theirs in any order. An element missing here may have no children.
const std::map<std::string, std::vector<std::string>> kOrdered = {
    { "score-partwise",
        { "work", "movement-number", "movement-title", "identification", "defaults", "credit",
            "part-list", "part" } },
    { "work", { "work-number", "work-title", "opus" } },
    { "identification",
        { "creator", "rights", "encoding", "source", "relation", "miscellaneous" } },
    { "score-part",
        { "identification", "part-name", "part-name-display", "part-abbreviation",
            "part-abbreviation-display", "group", "score-instrument",
            "midi-device midi-instrument" } },
    { "score-instrument",
        { "instrument-name", "instrument-abbreviation", "instrument-sound", "solo ensemble",
            "virtual-instrument" } },
    { "midi-instrument",
        { "midi-channel", "midi-name", "midi-bank", "midi-program", "midi-unpitched", "volume",
            "pan", "elevation" } },
    { "part", { "measure" } },
    { "attributes",
        { "footnote", "level", "divisions", "key", "time", "staves", "part-symbol", "instruments",
            "clef", "staff-details", "transpose", "directive", "measure-style" } },
    { "time", { "beats", "beat-type" } },
    { "clef", { "sign", "line", "clef-octave-change" } },
    { "staff-details", { "staff-type", "staff-lines", "staff-tuning", "capo", "staff-size" } },
    { "direction", { "direction-type", "offset", "footnote", "level", "voice", "staff", "sound" } },
    { "metronome", { "beat-unit", "beat-unit-dot", "per-minute" } },
    { "barline",
        { "bar-style", "footnote", "level", "wavy-line", "segno", "coda", "fermata", "ending",
            "repeat" } },
    { "note",
        { "grace", "cue", "chord", "pitch unpitched rest", "duration", "tie", "instrument",
            "footnote", "level", "voice", "type", "dot", "accidental", "time-modification", "stem",
            "notehead", "notehead-text", "staff", "beam", "notations", "lyric", "play" } },
    { "unpitched", { "display-step", "display-octave" } },
    { "time-modification", { "actual-notes", "normal-notes", "normal-type", "normal-dot" } },
    { "tuplet", { "tuplet-actual", "tuplet-normal" } },
    { "lyric", { "syllabic", "text", "end-line", "end-paragraph", "footnote", "level" } },
    { "backup", { "duration", "footnote", "level" } },
};
const std::map<std::string, std::set<std::string>> kUnordered = {
    { "encoding", { "encoding-date", "encoder", "software", "encoding-description", "supports" } },
    { "part-list", { "part-group", "score-part" } },
    { "measure",
        { "note", "backup", "forward", "direction", "attributes", "harmony", "figured-bass",
            "print", "sound", "barline", "grouping", "link", "bookmark" } },
    { "direction-type", { "rehearsal", "words", "metronome" } },
    { "notations",
        { "tied", "slur", "tuplet", "technical", "articulations", "dynamics", "ornaments" } },
    { "technical", { "open-string" } },
    { "articulations", { "accent" } },
};

int rank(const std::string& parent, const std::string& child)
{
    const std::vector<std::string>& order = kOrdered.at(parent);
    for (std::size_t i = 0; i < order.size(); ++i) {
        std::istringstream names(order[i]);
        for (std::string name; names >> name;)
            if (name == child)
                return int(i);
    }
    return -1;
}

// Reads the document; returns what is wrong with it (empty when nothing), and counts in notes
// the sounding notes (not grace, not chord) and in lyrics the lyrics.
std::string check(const std::string& xml, int& notes, int& lyrics)
{
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    std::vector<std::pair<std::string, int>> open; // name, rank of its last child
    std::map<std::string, int> voiceTicks; // of the measure: voice's duration
    int beats = 0, beatType = 0;
    std::map<std::string, std::string> text; // the last text of each leaf element
    std::set<std::string> noteChildren;
    bool doctype = false;
    notes = lyrics = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        doctype |= reader.isDTD() && reader.text().contains(u"MusicXML 3.1 Partwise");
        const std::string name = reader.name().toString().toStdString();
        if (reader.isStartElement()) {
            if (!open.empty()) {
                const std::string& parent = open.back().first;
                if (kUnordered.count(parent)) {
                    if (!kUnordered.at(parent).count(name))
                        return "<" + name + "> inside <" + parent + ">";
                } else if (!kOrdered.count(parent)) {
                    return "<" + parent + "> has a child <" + name + ">";
                } else {
                    const int r = rank(parent, name);
                    if (r < 0 || r < open.back().second)
                        return "<" + name + "> out of order inside <" + parent + ">";
                    open.back().second = r;
                }
            }
            if (name == "measure")
                voiceTicks.clear();
            if (name == "note")
                noteChildren.clear();
            if (open.size() >= 1 && open.back().first == "note")
                noteChildren.insert(name);
            lyrics += name == "lyric";
            open.push_back({ name, -1 });
        } else if (reader.isCharacters() && !reader.isWhitespace() && !open.empty()) {
            text[open.back().first] = reader.text().toString().toStdString();
        } else if (reader.isEndElement()) {
            open.pop_back();
            if (name == "beats")
                beats = std::stoi(text["beats"]);
            if (name == "beat-type")
                beatType = std::stoi(text["beat-type"]);
            if (name == "note" && !noteChildren.count("grace") && !noteChildren.count("chord")) {
                voiceTicks[text["voice"]] += std::stoi(text["duration"]);
                notes += !noteChildren.count("rest");
            }
            if (name == "measure") {
                for (const auto& [voice, ticks] : voiceTicks)
                    if (ticks * beatType != beats * 4 * kMusicXmlDivisions)
                        return "voice " + voice + " of measure lasts " + std::to_string(ticks);
            }
        }
    }
    if (reader.hasError())
        return "not well-formed: " + reader.errorString().toStdString();
    return doctype ? "" : "no MusicXML 3.1 partwise DOCTYPE";
}

TEST(StandInMusicXml, WritesThreeScriptsAsTheDtdOrdersThem)
{
    struct Row {
        const char* file;
        int measures;
        int notes; // sounding, grace notes aside
        int lyrics;
    };
    const Row rows[] = { { "startup.drum", 1, 22, 0 }, { "groove.drum", 2, 25, 19 },
        { "compound.drum", 4, 26, 0 } };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        std::ifstream in(std::string(SHEET_SCRIPTS) + "/" + row.file, std::ios::binary);
        const std::string bytes { std::istreambuf_iterator<char>(in), {} };
        standin::Script script;
        Sheet sheet;
        std::string error;
        ASSERT_TRUE(
            standin::parseScript(bytes, script, error) && buildSheet(script, false, sheet, error))
            << error;
        EXPECT_EQ(sheet.measures.size(), std::size_t(row.measures));
        int notes = 0, lyrics = 0;
        EXPECT_EQ(check(musicXml(sheet), notes, lyrics), "");
        EXPECT_EQ(notes, row.notes);
        EXPECT_EQ(lyrics, row.lyrics);
    }
}

} // namespace
