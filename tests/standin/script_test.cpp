#include "performance.h"
#include "script.h"

#include "defaultheader.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using standin::parseScript;
using standin::Script;
using namespace std::string_literals;

const std::string kDefaultScript = std::string(kDefaultHeaderText)
    + "\r\n"
      "RAW [new-rud]=48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,"
      "65,38,73,73,55,55,55\r\n"
      "[new-rud]\r\n";

Script parsed(const std::string& bytes)
{
    Script script;
    std::string error;
    EXPECT_TRUE(parseScript(bytes, script, error)) << error;
    return script;
}

TEST(StandInScript, ReadsTheDefaultTestScript)
{
    const Script script = parsed(kDefaultScript);
    ASSERT_EQ(script.settings.size(), 16u);
    EXPECT_EQ(script.settings[0].name, "TRACKINSTRUMENT(1)");
    EXPECT_EQ(script.settings[0].value, "0");
    EXPECT_EQ(script.settings[0].line, 2);
    EXPECT_EQ(script.settings[1].value, "40,35,42,46,50,45");
    EXPECT_EQ(script.settings[4].name, "INTRO");
    EXPECT_EQ(script.settings[4].value, "");
    EXPECT_EQ(script.settings[7].name, "TEMPO");
    EXPECT_EQ(script.settings[7].value, "100");
    EXPECT_EQ(script.settings[7].line, 7);
    EXPECT_EQ(script.settings[8].name, "REPEATS");
    EXPECT_EQ(script.settings[15].name, "FTICKS");
    EXPECT_TRUE(script.ignored.empty());
    EXPECT_EQ(script.definitionLine, 11);
    EXPECT_EQ(script.playLine, 12);
    ASSERT_EQ(script.notes.size(), 22u);
    EXPECT_EQ(script.notes[0].token, "48X");
    EXPECT_EQ(script.notes[0].note, (notation::Note { 4, 8, true, 1 }));
    EXPECT_EQ(script.notes[7].number, 8);
    EXPECT_EQ(script.notes[7].note, (notation::Note { 6, 5, false, 1 }));
    EXPECT_EQ(script.notes[21].note, (notation::Note { 5, 5, false, 1 }));
}

TEST(StandInScript, ReadsTheAcceptedNotationAndWindows1252)
{
    const Script script = parsed("SET TITLE=caf\xe9 \x80\r\n"
                                 "\r\n"
                                 "raw [NEW-RUD]=48x>b+a,C3X>A+C,70\r\n"
                                 "  [new-rud]  \r\n"
                                 "[new-rud]\r\n");
    ASSERT_EQ(script.settings.size(), 1u);
    EXPECT_EQ(script.settings[0].value, "caf\u00e9 \u20ac");
    EXPECT_EQ(script.definition, "raw [NEW-RUD]=48x>b+a,C3X>A+C,70");
    EXPECT_EQ(script.playLine, 4);
    ASSERT_EQ(script.notes.size(), 3u);
    EXPECT_EQ(script.notes[0].note, (notation::Note { 4, 8, true, 0b11 }));
    EXPECT_EQ(script.notes[1].note, (notation::Note { 12, 3, true, 0b101 }));
    EXPECT_EQ(script.notes[2].note, (notation::Note { 7, 0, false, 1 }));
}

TEST(StandInScript, PassesOverWhatItDoesNotPlayAndSaysSo)
{
    const Script script = parsed("PLAY FAST;SET TEMPO=90\r\n"
                                 "RAW [other]=48\r\n"
                                 "RAW [new-rud]=45\r\n"
                                 "[other]\r\n"
                                 "[new-rud]\r\n");
    EXPECT_EQ(script.settings.size(), 1u);
    EXPECT_EQ(script.ignored,
        (std::vector<std::string> {
            "line 1: passed over: PLAY FAST", "line 4: passed over: [other]" }));
    EXPECT_EQ(script.notes.size(), 1u);
    // Other definitions are kept for INTRO and TRANSITION.
    ASSERT_EQ(script.otherPatterns.size(), 1u);
    EXPECT_EQ(script.otherPatterns[0].line, 2);
    EXPECT_EQ(standin::findPattern(script, "OTHER"), &script.otherPatterns[0]);
    EXPECT_EQ(standin::findPattern(script, "[new-rud]"), nullptr);
}

struct Malformed {
    const char* name;
    std::string bytes;
    std::string message;
};

TEST(StandInScript, RefusesAMalformedScriptNamingTheLine)
{
    const std::string tail = "RAW [new-rud]=48X\r\n[new-rud]\r\n";
    const std::vector<Malformed> cases = {
        { "empty", "", "the script is empty" },
        { "over 4 MiB", std::string(4 << 20, '\'') + "\n" + tail,
            "the script is larger than 4 MiB" },
        { "500,000 notes", "RAW [new-rud]=" + std::string(500000, ',') + "\r\n[new-rud]\r\n",
            "line 1: the pattern [new-rud] has more than 500000 notes" },
        { "UTF-16",
            "\xFF\xFE"
            "S\0E\0T\0"s,
            "the script is UTF-16 text (byte-order mark FF FE)" },
        { "UTF-8 beyond Windows-1252", "\xEF\xBB\xBF' \xE4\xB8\xAD\r\n" + tail,
            "the script is not UTF-8" },
        { "NUL",
            "RAW [new-rud]=4\0"
            "8X\r\n[new-rud]\r\n"s,
            "line 1: the line holds a control character (0x00) at column 16" },
        { "escape in a comment", "' \x1B[2J\r\n" + tail,
            "line 1: the line holds a control character (0x1B)" },
        { "unused definition", "RAW [unused]=ZZZ,48>Q\r\n" + tail,
            "line 1: note 1 \"ZZZ\": the note type" },
        { "after ; on a RAW line", "RAW [new-rud]=48X;SET TEMPO=5\r\n[new-rud]\r\n",
            "line 1: TEMPO=5: the tempo must be a whole number" },
        { "no definition", "SET TEMPO=90\r\n[new-rud]\r\n",
            "line 2: [new-rud] is played before its RAW definition" },
        { "no definition, no play line", "SET TEMPO=90\r\n",
            "no definition \"RAW [new-rud]=\" in the script" },
        { "no play line", "RAW [new-rud]=48X\r\n", "no line \"[new-rud]\" that plays the pattern" },
        { "defined twice", "RAW [new-rud]=48X\r\nRAW [new-rud]=45\r\n[new-rud]\r\n",
            "line 2: the pattern [new-rud] is defined a second time (first on line 1)" },
        { "other defined twice", "RAW [x]=1\r\nRAW [X]=2\r\n" + tail,
            "line 2: the pattern [X] is defined a second time (first on line 1)" },
        { "no notes", "RAW [new-rud]=  \r\n[new-rud]\r\n",
            "line 1: the pattern [new-rud] has no notes" },
        { "bad voice", "RAW [new-rud]=48X,48>G\r\n[new-rud]\r\n",
            "line 1: note 2 \"48>G\": a voice after \">\" must be one of A to F, joined by \"+\"" },
        { "empty voice item", "RAW [new-rud]=48>A++B\r\n[new-rud]\r\n",
            "line 1: note 1 \"48>A++B\": a voice" },
        { "bad type", "' x\r\nRAW [new-rud]=45,Z5\r\n[new-rud]\r\n",
            "line 2: note 2 \"Z5\": the note type must be one of 1 to 9 or A to F" },
        { "blank before a token", "RAW [new-rud]=48, 45\r\n[new-rud]\r\n",
            "line 1: note 2 \" 45\": the note type" },
        { "empty token", "RAW [new-rud]=48,,45\r\n[new-rud]\r\n",
            "line 1: note 2 \"\": the note type" },
        { "SET without =", "SET TEMPO 90\r\n" + tail,
            "line 1: SET needs a name and \"=\": SET TEMPO 90" },
        { "SET without name", "SET =90\r\n" + tail, "line 1: SET needs a name" },
        { "RAW without =", "RAW [new-rud]\r\n" + tail, "line 1: RAW needs a name and \"=\"" },
    };
    for (const Malformed& c : cases) {
        SCOPED_TRACE(c.name);
        Script script;
        std::string error;
        standin::Performance performance;
        EXPECT_FALSE(parseScript(c.bytes, script, error)
            && standin::buildPerformance(script, false, performance, error));
        EXPECT_EQ(error.substr(0, c.message.size()), c.message) << error;
    }
}

TEST(StandInScript, ReadsAnyLineEndAndAUtf8Mark)
{
    for (const std::string& bytes : { std::string("SET TEMPO=90\nRAW [new-rud]=48X\n[new-rud]\n"),
             std::string("SET TEMPO=90\rRAW [new-rud]=48X\r[new-rud]"),
             std::string("SET TEMPO=90\r\n\nRAW [new-rud]=48X\r\r\n[new-rud]\n"),
             std::string("\xEF\xBB\xBFSET TEMPO=90\r\nRAW [new-rud]=48X\r\n[new-rud]\r\n") }) {
        const Script script = parsed(bytes);
        ASSERT_EQ(script.settings.size(), 1u) << bytes;
        EXPECT_EQ(script.settings[0].name + script.settings[0].value, "TEMPO90");
        EXPECT_EQ(script.notes.size(), 1u);
    }
}

TEST(StandInScript, PrintsThePatternAsATable)
{
    const Script script = parsed("RAW [new-rud]=48X,C3>B+D\r\n[new-rud]\r\n");
    EXPECT_EQ(standin::formatPattern(script),
        " note  token              type  volume  flam  voices\n"
        "    1  48X                   4       8  yes   A\n"
        "    2  C3>B+D           12 (C)       3  no    B+D\n");
    const Script settings
        = parsed("SET TEMPO=90;SET INTRO=\r\n" + std::string("RAW [new-rud]=4\r\n[new-rud]\r\n"));
    EXPECT_EQ(standin::formatSettings(settings), "  TEMPO = 90\n  INTRO = \n");
    // A long pattern shows its first 64 notes.
    std::string line = "RAW [new-rud]=" + std::string(300, '4');
    for (int i = 0; i < 100; ++i)
        line += ",10";
    const std::string table = standin::formatPattern(parsed(line + "\r\n[new-rud]\r\n"));
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 66);
    EXPECT_TRUE(table.ends_with("  no    A\n  ... 37 more notes\n")) << table;
    EXPECT_NE(table.find(std::string(120, '4') + "... (300 bytes)"), std::string::npos) << table;
}

} // namespace
