#include "notation.h"

#include <gtest/gtest.h>
#include <string>

using namespace notation;

namespace {

std::string narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

Note note(int res, int vol, bool flammed, int voices)
{
    return Note { std::int16_t(res), std::int16_t(vol), flammed, std::int16_t(voices) };
}

// Voice set from letters, "AC" -> A and C.
int voices(const char* letters)
{
    int set = 0;
    for (const char* p = letters; *p; ++p)
        set |= 1 << (*p - 'A');
    return set;
}

} // namespace

TEST(CanonicalToken, ExamplesOfTheNotation)
{
    struct Case {
        Note note;
        const char16_t* token;
    } cases[] = {
        { note(4, 8, true, voices("A")), u"48X" },
        { note(4, 5, false, voices("A")), u"45" },
        { note(6, 5, false, voices("BD")), u"65>B+D" },
        { note(12, 3, true, voices("AC")), u"C3X>A+C" },
        { note(7, 3, false, 0), u"70" },
        { note(1, 9, true, voices("ABCDEF")), u"19X>A+B+C+D+E+F" },
        { note(15, 0, false, voices("F")), u"F0>F" },
        { note(10, 9, false, voices("AB")), u"A9>A+B" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(narrow(canonicalToken(c.note)), narrow(c.token));
}

TEST(CanonicalToken, EveryNoteReadsBack)
{
    // Every note the columns can hold: the token reads back to it, except that a note without
    // voice comes back as volume 0 on voice A.
    for (int res = 1; res <= 15; ++res)
        for (int vol = 0; vol <= 9; ++vol)
            for (int flam = 0; flam <= 1; ++flam)
                for (int set = 0; set < 64; ++set) {
                    const Note written = note(res, vol, flam != 0, set);
                    const std::u16string token = canonicalToken(written);
                    ASSERT_GE(token.size(), 2u);
                    ASSERT_LE(token.size(), 15u);
                    const TokenReading read = analyzeToken(token);
                    ASSERT_EQ(read.fault, TokenFault::None) << narrow(token);
                    const Note expected = set == 0 ? note(res, 0, flam != 0, voices("A")) : written;
                    ASSERT_EQ(read.note, expected) << narrow(token);
                }
}

TEST(AnalyzeToken, AcceptedForms)
{
    struct Case {
        const char16_t* token;
        Note note;
    } cases[] = {
        { u"48x>b+a", note(4, 8, true, voices("AB")) },
        { u"45>A", note(4, 5, false, voices("A")) },
        { u"48>A+A", note(4, 8, false, voices("A")) },
        { u"4", note(4, 0, false, voices("A")) },
        { u"480", note(4, 8, false, voices("A")) },
        { u"48Q", note(4, 8, true, voices("A")) },
        { u"481", note(4, 8, true, voices("A")) },
        { u"48XY", note(4, 8, false, voices("A")) },
        { u"48>B7", note(4, 8, false, voices("B")) },
        { u"48X>B+C", note(4, 8, true, voices("BC")) },
        { u"48>B", note(4, 8, false, voices("B")) },
        { u"C", note(12, 0, false, voices("A")) },
        { u"f9", note(15, 9, false, voices("A")) },
        { u"4Z", note(4, 0, false, voices("A")) },
        { u"4 X", note(4, 0, true, voices("A")) }, // a blank volume is 0; third character flams
        { u"65>F", note(6, 5, false, voices("F")) },
        { u"65>D+B+D", note(6, 5, false, voices("BD")) },
        { u"65>Eel", note(6, 5, false, voices("E")) },
    };
    for (const Case& c : cases) {
        const TokenReading read = analyzeToken(c.token);
        EXPECT_EQ(read.fault, TokenFault::None) << narrow(c.token);
        EXPECT_EQ(read.note, c.note) << narrow(c.token);
    }
}

TEST(AnalyzeToken, RefusedTokens)
{
    struct Case {
        const char16_t* token;
        TokenFault fault;
    } cases[] = {
        { u"48>F7", TokenFault::VoiceCharacter },
        { u"48>", TokenFault::VoiceCharacter },
        { u"48>A++B", TokenFault::VoiceCharacter },
        { u"48>G", TokenFault::VoiceCharacter },
        { u"45>Q", TokenFault::VoiceCharacter },
        { u"48>@", TokenFault::VoiceCharacter },
        { u"48> A", TokenFault::VoiceCharacter },
        { u"", TokenFault::NoteTypeCharacter },
        { u" 45", TokenFault::NoteTypeCharacter },
        { u"0", TokenFault::NoteTypeCharacter },
        { u"-4", TokenFault::NoteTypeCharacter },
        { u"G5", TokenFault::NoteTypeCharacter },
        { u"\u00e948", TokenFault::NoteTypeCharacter },
        { u">A", TokenFault::NoteTypeCharacter },
        // Both faults: the voice list is checked first.
        { u"Z5>Q", TokenFault::VoiceCharacter },
    };
    for (const Case& c : cases)
        EXPECT_EQ(analyzeToken(c.token).fault, c.fault) << narrow(c.token);
}

TEST(Line, BodyDropsPrefixAndOuterSpaces)
{
    EXPECT_EQ(narrow(lineBody(u"RAW [new-rud]=48X,45")), "48X,45");
    EXPECT_EQ(narrow(lineBody(u"  48X, 45  ")), "48X, 45");
    EXPECT_EQ(narrow(lineBody(u"a=b=48")), "b=48");
    EXPECT_EQ(narrow(lineBody(u"     ")), "");
    EXPECT_EQ(narrow(lineBody(u"RAW [x]=")), "");
    EXPECT_EQ(narrow(lineBody(u"\t48\t")), "\t48\t"); // only the space character is removed
}

TEST(Line, SplitKeepsEmptyPiecesAndBlanks)
{
    EXPECT_TRUE(splitTokens(u"").empty());
    const auto three = splitTokens(u"48,,45");
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(narrow(three[1]), "");
    const auto blank = splitTokens(u"48X, 45");
    ASSERT_EQ(blank.size(), 2u);
    EXPECT_EQ(narrow(blank[1]), " 45");
    EXPECT_EQ(splitTokens(u",").size(), 2u);
    EXPECT_EQ(splitTokens(u"48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55").size(),
        22u);
}

TEST(Writer, TypeCharacters)
{
    EXPECT_EQ(narrow(typeCharacter(resFromPosition(1))), "F");
    EXPECT_EQ(narrow(typeCharacter(resFromPosition(6))), "A");
    EXPECT_EQ(narrow(typeCharacter(resFromPosition(7))), "9");
    EXPECT_EQ(narrow(typeCharacter(resFromPosition(15))), "1");
    EXPECT_EQ(resPosition(12), 4);
    EXPECT_EQ(volPosition(9), 0);
    EXPECT_EQ(volFromPosition(9), 0);
}

TEST(Writer, Descriptions)
{
    EXPECT_EQ(narrow(describeNote(0, tokenParts(note(4, 8, true, voices("AC"))))),
        "Note # 1  -  Type 4;  Vol 8;  Flammed;  Voices=>A+C");
    EXPECT_EQ(narrow(describeNote(2, tokenParts(note(6, 5, false, voices("A"))))),
        "Note # 3  -  Type 6;  Vol 5;  Voices=A");
    EXPECT_EQ(narrow(describeNote(9, tokenParts(note(12, 7, false, 0)))),
        "Note # 10  -  Type C;  Vol 0;  Voices=A");
}

TEST(Writer, ReplaceTokenKeepsOtherPieces)
{
    EXPECT_EQ(narrow(*replaceToken(u"48X,45,45,48X", 3, u"40X")), "48X,45,45,40X");
    EXPECT_EQ(narrow(*replaceToken(u"48x, 45,,q", 2, u"65")), "48x, 45,65,q");
    EXPECT_EQ(narrow(*replaceToken(u"48", 0, u"45")), "45");
    // A line with fewer pieces than the index asks for is not patched.
    EXPECT_FALSE(replaceToken(u"48,45", 2, u"45").has_value());
    EXPECT_FALSE(replaceToken(u"", 0, u"45").has_value());
    EXPECT_FALSE(replaceToken(u"48", -1, u"45").has_value());
}

TEST(Writer, StartUpLineRoundTrips)
{
    const std::u16string line
        = u"48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55";
    std::vector<std::u16string> tokens;
    for (const std::u16string& token : splitTokens(line)) {
        const TokenReading read = analyzeToken(token);
        ASSERT_EQ(read.fault, TokenFault::None);
        tokens.push_back(canonicalToken(read.note));
    }
    EXPECT_EQ(narrow(joinTokens(tokens)), narrow(line));
    const TokenReading first = analyzeToken(u"48X");
    EXPECT_EQ(resPosition(first.note.res), 12);
    EXPECT_EQ(volPosition(first.note.vol), 1);
}
