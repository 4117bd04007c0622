#include "sheet.h"

#include <gtest/gtest.h>

namespace {

using namespace standin::sheet;

struct Built {
    Sheet sheet;
    std::string error;
};

// The sheet of a header (lines joined with CR LF) and a pattern line.
Built build(const std::string& header, const std::string& line, bool noTimeSig = false)
{
    standin::Script script;
    Built b;
    if (standin::parseScript(
            header + "\r\nRAW [new-rud]=" + line + "\r\n[new-rud]\r\n", script, b.error))
        buildSheet(script, noTimeSig, b.sheet, b.error);
    return b;
}

// An element as "5+9:8." (its steps, its type and dots), "r8" a rest, "R" a measure rest, with
// "(3:2)" for a tuplet and "~" before or after for a tie.
std::string text(const Element& e)
{
    if (e.wholeMeasure)
        return "R";
    std::string t = e.tiedFromPrevious ? "~" : "";
    for (const Stroke& s : e.strokes)
        t += (s.step == e.strokes.front().step ? "" : "+") + std::to_string(s.step);
    t += (e.rest ? "r" : ":") + std::to_string(e.length.type) + std::string(e.length.dots, '.');
    if (e.length.tuplet())
        t += "(" + std::to_string(e.length.actual) + ":" + std::to_string(e.length.normal) + ")";
    return t + (e.tiedToNext ? "~" : "");
}

// A voice's measures, "4/4: ..." where a time signature is written, joined with " | ".
std::string voice(const Sheet& sheet, Voice v = Voice::Upper)
{
    std::string t;
    for (const Measure& m : sheet.measures) {
        std::string shown
            = m.showTime ? std::to_string(m.beats) + "/" + std::to_string(m.beatType) + ":" : "";
        for (const Element& e : m.voices[std::size_t(v)].elements)
            shown += (shown.empty() ? "" : " ") + text(e);
        t += (t.empty() ? "" : " | ") + shown;
    }
    return t;
}

TEST(StandInSheet, PlacesEachKeyWhereTheDrumSetKeyPutsIt)
{
    struct Row {
        int key;
        const char* pitch;
        Head head;
        Voice voice;
    };
    const Voice U = Voice::Upper, L = Voice::Lower;
    const Row rows[] = { { 35, "F4", Head::Normal, L }, { 36, "F4", Head::Normal, L },
        { 44, "D4", Head::X, L }, { 41, "G4", Head::Normal, U }, { 43, "A4", Head::Normal, U },
        { 45, "B4", Head::Normal, U }, { 47, "D5", Head::Normal, U }, { 48, "D5", Head::Normal, U },
        { 50, "E5", Head::Normal, U }, { 38, "C5", Head::Normal, U }, { 40, "C5", Head::Normal, U },
        { 37, "C5", Head::CircledX, U }, { 39, "C5", Head::Slash, U }, { 42, "G5", Head::X, U },
        { 46, "G5", Head::X, U }, { 51, "F5", Head::X, U }, { 59, "F5", Head::X, U },
        { 53, "F5", Head::Diamond, U }, { 49, "A5", Head::X, U }, { 57, "B5", Head::X, U },
        { 52, "B5", Head::CircledX, U }, { 55, "A5", Head::CircledX, U },
        { 54, "B4", Head::Triangle, U }, { 76, "B4", Head::Triangle, U } };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        const Placement p = placeKey(row.key);
        EXPECT_EQ(stepLetter(p.step) + std::to_string(stepOctave(p.step)), row.pitch);
        EXPECT_EQ(p.head, row.head);
        EXPECT_EQ(p.voice, row.voice);
        EXPECT_EQ(p.open, row.key == 46);
        EXPECT_EQ(p.known, row.head != Head::Triangle);
    }
    // A key without a place is named in the legend.
    const Sheet sheet = build("SET TRACKVOICES(1)=54,35,42,46,50,45", "15,15>C").sheet;
    ASSERT_EQ(sheet.legend.size(), 1u);
    EXPECT_EQ(sheet.legend[0].name, "Tambourine");
    EXPECT_EQ(sheet.keys, (std::vector<int> { 42, 54 }));
}

TEST(StandInSheet, WritesEveryNoteTypeAsAPlainDottedTiedOrTupletValue)
{
    const std::string ticks
        = "SET ATICKS=90;SET BTICKS=45;SET CTICKS=17;SET DTICKS=200;SET ETICKS=150;SET FTICKS=960";
    const std::pair<char, const char*> rows[]
        = { { '1', " 5:4" }, { '2', " 5:8" }, { '3', " 5:8(3:2)" }, { '4', " 5:16" },
              { '5', " 5:16(3:2)" }, { '6', " 5:32" }, { '7', " 5:32(3:2)" }, { '8', " 5:16(5:4)" },
              { '9', " 5:16(5:3)" }, { 'A', " 5:8." }, { 'B', " 5:16." }, { 'C', " 5:16(30:17)" },
              { 'D', " 5:2(6:5)" }, { 'E', " 5:4~ ~5:16" }, { 'F', " 5:1~ | ~5:1" } };
    for (const auto& [type, written] : rows) {
        SCOPED_TRACE(type);
        const std::string shown = voice(build(ticks, std::string { type, '5' }, true).sheet);
        EXPECT_EQ(shown.substr(shown.find(':') + 1), written);
    }
}

TEST(StandInSheet, BracketsTupletsOverTheBeatTheyFill)
{
    const std::pair<const char*, const char*> rows[] = {
        { "35,35,35", "0-2 3/8" }, { "55,55,55,55,55,55", "0-2 3/16, 3-5 3/16" },
        { "85,85,85,85,85", "0-4 5/16" }, { "25,95,95,95,95,95", "1-5 5:3/16" },
        { "38,73,73,55,55,55", "0-5 3/8" }, // mixed values under one bracket
        { "A5,A5", "0-2 3/4" }, // ATICKS=80: two quarter triplets, a rest of a third completes them
    };
    for (const auto& [line, expected] : rows) {
        SCOPED_TRACE(line);
        const Built b = build("SET TIMESIG=4/4;SET ATICKS=80", line);
        const VoiceBar& bar = b.sheet.measures.at(0).voices[0];
        std::string shown;
        for (const Tuplet& t : bar.tuplets) {
            shown += (shown.empty() ? "" : ", ") + std::to_string(t.first) + "-"
                + std::to_string(t.last) + " " + std::to_string(t.actual)
                + (t.ratioShown ? ":" + std::to_string(t.normal) : "") + "/"
                + std::to_string(t.normalType);
            for (int i = t.first; i <= t.last; ++i)
                EXPECT_EQ(bar.elements[std::size_t(i)].tuplet, &t - bar.tuplets.data());
        }
        EXPECT_EQ(shown, expected);
    }
}

TEST(StandInSheet, SplitsNotesAtBarLinesWithTiesAndFillsTheBar)
{
    struct Row {
        const char* header;
        const char* line;
        bool noTimeSig;
        const char* measures;
    };
    const Row rows[] = {
        { "SET TIMESIG=3/4", "15,15,25,15", false, "3/4: 5:4 5:4 5:8 5:8~ | ~5:8 r8 r4 r4" },
        { "SET TIMESIG=4/4", "15,15,15,25,15", false,
            "4/4: 5:4 5:4 5:4 5:8 5:8~ | ~5:8 r8 r4 r4 r4" },
        { "SET TIMESIG=6/8", "25,15,15,15", false, "6/8: 5:8 5:4 5:4 5:8~ | ~5:8 r8 r8 r4." },
        { "SET TIMESIG=7/8", "15,15,15,15", false, "7/8: 5:4 5:4 5:4 5:8~ | ~5:8 r8 r4 r4." },
        { "SET TIMESIG=6/8", "15", false, "6/8: 5:4 r8 r4." },
        // Unpadded, the last bar is as long as the pattern, with its own time signature.
        { "SET TIMESIG=4/4", "15,15,15,15,15", true, "4/4: 5:4 5:4 5:4 5:4 | 1/4: 5:4" },
        { "", "15,25,45", false, "7/16: 5:4 5:8 5:16" },
        { "", "15,15,15,15,35", false, "4/4: 5:4 5:4 5:4 5:4 | 1/12: 5:8(3:2)" },
        { "SET TIMESIG=3/4", "25,25,25,25,25,25,25,25", false,
            "3/4: 5:8 5:8 5:8 5:8 5:8 5:8 | 5:8 5:8 r4 r4" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(voice(build(row.header, row.line, row.noTimeSig).sheet), row.measures);
    }
}

TEST(StandInSheet, BeamsPerBeatAndBreaksSecondaryBeamsAtTheHalfBeat)
{
    // Per element, its beams from the eighth's up: B begins, C continues, E ends, f and b are
    // hooks forward and back; "r" a rest, "-" no beam.
    const std::pair<std::string, const char*> rows[] = {
        { "4/4 25,25,25,25,25,25,25,25", "B E B E B E B E" },
        { "4/4 45,45,45,45,45,45,45,45", "BB CC CC EE BB CC CC EE r r" },
        { "4/4 65,65,65,65,65,65,65,65", "BBB CCC CCC CCE CCB CCC CCC EEE r r r" },
        { "4/4 A5,45", "B Eb r r r" },
        { "4/4 45,40,25,15", "Bf r E - r r" }, // over a rest within the beat
        { "6/8 25,25,25,25,25,25", "B C E B C E" },
        { "6/8 45,45,45,45,45,45,45,45,45,45,45,45", "BB CC CC CC CC EE BB CC CC CC CC EE" },
    };
    for (const auto& [row, expected] : rows) {
        SCOPED_TRACE(row);
        const Sheet sheet
            = build("SET ATICKS=90;SET TIMESIG=" + row.substr(0, 3), row.substr(4)).sheet;
        std::string shown;
        for (const Element& e : sheet.measures.at(0).voices[0].elements) {
            std::string beams;
            for (Beam b : e.beams)
                beams += " BCEfb"[int(b)];
            beams.erase(beams.find_last_not_of(' ') + 1);
            shown += (shown.empty() ? "" : " ") + (e.rest ? "r" : beams.empty() ? "-" : beams);
        }
        EXPECT_EQ(shown, expected);
    }
}

TEST(StandInSheet, MarksAccentsGhostNotesAndFlamsFromEachStroke)
{
    const std::pair<const char*, const char*> rows[] = { { "19X", "accent flam" },
        { "17", "accent" }, { "16", "plain" }, { "14", "plain" }, { "13", "ghost" },
        { "11X", "ghost flam" }, { "10,15", "rest" }, { "15>B+C", "plain" } };
    for (const auto& [token, expected] : rows) {
        SCOPED_TRACE(token);
        const Sheet sheet = build("", token).sheet;
        const Element& e = sheet.measures.at(0).voices[sheet.voiceUsed[0] ? 0 : 1].elements.at(0);
        const char* dynamic[] = { "ghost", "plain", "accent" };
        EXPECT_EQ(e.rest ? "rest" : dynamic[int(e.dynamic)] + std::string(e.flam ? " flam" : ""),
            expected);
    }
}

TEST(StandInSheet, GivesHandsAndFeetVoicesOfTheirOwnWithTheirOwnRests)
{
    struct Row {
        const char* voices;
        const char* line;
        const char* upper;
        const char* lower;
    };
    const Row rows[] = {
        { "40,35,42,46,50,45", "25>B+C,25>C,25>A+C,25>C,25>B+C,25>B+C,25>A+C,25>C",
            "4/4: 9:8 9:8 5+9:8 9:8 9:8 9:8 5+9:8 9:8", "4/4: 1:8 r8 r4 1:8 1:8 r4" },
        { "40,35,42,46,50,45", "15>B,15,15,15,15,15,15,15", "4/4: r4 5:4 5:4 5:4 | 5:4 5:4 5:4 5:4",
            "4/4: 1:4 r4 r4 r4 | R" },
        { "38,40,42,46,50,45", "15>A+B", "4/4: 5:4 r4 r4 r4", "4/4:" }, // one notehead
        { "40,35,42,46,50,45", "10,30", "4/4: R", "4/4:" }, // nothing sounds
        { "40,36,42,46,44,45", "25>B+E,45>B,45>C", "4/4: r8 r16 9:16 r4 r4 r4",
            "4/4: -1+1:8 1:16 r16 r4 r4 r4" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const Sheet sheet
            = build(std::string("SET TIMESIG=4/4;SET TRACKVOICES(1)=") + row.voices, row.line)
                  .sheet;
        EXPECT_EQ(voice(sheet, Voice::Upper), row.upper);
        EXPECT_EQ(voice(sheet, Voice::Lower), row.lower);
    }
}

TEST(StandInSheet, WritesTheIntroThePatternRepeatedAndTheTransitionAsItsVolta)
{
    const std::string patterns = "RAW [count]=25>C,25>C,25>C\r\nRAW [Fill]=15,15,15,15";
    const std::pair<std::string, const char*> rows[] = {
        { "SET REPEATS=3;SET TEMPOCHANGE=5;SET INTRO=count;SET TRANSITION=fill",
            "80 +5 per repeat: Intro [count] 1 | Pattern [new-rud] 2 |: | Transition [Fill] 3-4 "
            "1.\u20132. (1, 2) :|\u00d73" },
        { "SET REPEATS=2;SET TRANSITION=[FILL]",
            "80: Pattern [new-rud] 1 |: | Transition [Fill] 2-3 1. (1) :|\u00d72" },
        { "SET REPEATS=1;SET TEMPOCHANGE=5;SET INTRO=count;SET TRANSITION=fill",
            "80: Intro [count] 1 | Pattern [new-rud] 2" },
        { "SET REPEATS=4;SET INTRO=new-rud;SET TEMPOCHANGE=-3",
            "80 -3 per repeat: Intro [new-rud] 1 | Pattern [new-rud] 2 |: :|\u00d74" },
    };
    for (const auto& [header, expected] : rows) {
        SCOPED_TRACE(header);
        const Built b = build("SET TIMESIG=6/8;SET TEMPO=80;" + header + "\r\n" + patterns,
            "27X>A+B+C,25>C,25>C,25>B+C,45>C,45>A,25>C");
        ASSERT_EQ(b.error, "");
        std::string shown = std::to_string(b.sheet.tempo)
            + (b.sheet.tempoText.empty() ? "" : " " + b.sheet.tempoText) + ":";
        for (const Section& s : b.sheet.sections) {
            const Measure& first = b.sheet.measures.at(std::size_t(s.firstMeasure));
            const Measure& last
                = b.sheet.measures.at(std::size_t(s.firstMeasure + s.measureCount - 1));
            shown += std::string(&s == b.sheet.sections.data() ? " " : " | ") + s.mark + " "
                + std::to_string(first.number)
                + (s.measureCount > 1 ? "-" + std::to_string(last.number) : "")
                + (first.repeatStart ? " |:" : "")
                + (first.endingStart ? " " + first.endingText + " (" + first.endingNumbers + ")"
                                     : "")
                + (last.repeatEnd ? " :|" + last.repeatText : "");
            EXPECT_EQ(last.repeatEnd, last.repeatTimes > 1);
            EXPECT_EQ(first.endingStart, last.endingStop);
        }
        EXPECT_EQ(shown, expected);
    }
}

TEST(StandInSheet, ReadsTheStickingFromItsCommentLineAndRefusesOneTooLong)
{
    const std::pair<std::string, const char*> rows[] = {
        { "' STICKING [new-rud]=R,l, ,rl", "R L - RL" },
        { "'sticking new-rud = R", "R" },
        { "' STICKING [other]=R,L",
            "none; line 1: passed over: the sticking of [other], a pattern "
            "that no RAW line defines" },
        { "' Sticking is what the hands do", "none" },
        { "' STICKING [new-rud]=R,L,R,L,R",
            "line 1: the sticking of [new-rud] has 5 entries, "
            "more than the 4 notes of the pattern" },
        { "' STICKING [new-rud]=R,X",
            "line 1: entry 2 of the sticking of [new-rud] is \"X\"; "
            "each is R, L, RL or empty" },
        { "' STICKING [new-rud]=R\r\n' STICKING [NEW-RUD]=L",
            "line 2: the sticking of [NEW-RUD] is given a second time (first on line 1)" },
    };
    for (const auto& [comment, expected] : rows) {
        SCOPED_TRACE(comment);
        standin::Script script;
        std::string shown;
        if (standin::parseScript(
                comment + "\r\nRAW [new-rud]=15,15,15>B,10\r\n[new-rud]\r\n", script, shown)) {
            const standin::Sticking* sticking = standin::findSticking(script, "[new-rud]");
            for (std::size_t i = 0; sticking && i < sticking->hands.size(); ++i)
                shown += (i ? " " : "") + (sticking->hands[i].empty() ? "-" : sticking->hands[i]);
            shown += sticking ? "" : "none";
            for (const std::string& note : script.ignored)
                shown += "; " + note;
        }
        EXPECT_EQ(shown, expected);
    }

    // On the sheet, under the first element of each note (the feet's when no hand plays it).
    const Sheet sheet = build("' STICKING [new-rud]=R,L,RL,R", "15,15,15>B,10").sheet;
    std::string hands;
    for (int v = 0; v < kVoices; ++v)
        for (const Element& e : sheet.measures.at(0).voices[std::size_t(v)].elements)
            hands += e.sticking.empty() ? "" : std::to_string(e.note) + e.sticking + " ";
    EXPECT_EQ(hands, "0R 1L 2RL ");
    EXPECT_EQ(standin::stickingLine("[fill]", { "R", "", "RL" }), "' STICKING [fill]=R,,RL");
}

} // namespace
