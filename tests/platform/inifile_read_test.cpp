#include "inifile.h"
#include "tempdir.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

// Reading: the lookup rules on a file's text, and readString on files.

namespace {

struct LookupCase {
    const char* what;
    std::string text;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

} // namespace

TEST(IniLookup, FindsValuesByTheReadingRules)
{
    const LookupCase cases[] = {
        { "CR LF ends", "[program]\r\nA=1\r\nMaxRudimixNotes=40\r\n", "program", "MaxRudimixNotes",
            "40" },
        { "LF ends", "[program]\nA=1\nMaxRudimixNotes=40\n", "program", "MaxRudimixNotes", "40" },
        { "last line without end", "[a]\nk=v", "a", "k", "v" },
        { "last line without end, CR LF", "[a]\r\nk=v", "a", "k", "v" },
        { "comment line is no entry", "[a]\n;k=1\nk=2\n", "a", "k", "2" },
        { "indented comment", "[a]\n   ;k=1\n", "a", "k", std::nullopt },
        { "comment only", "[a]\n;k=1\n", "a", "k", std::nullopt },
        { "first of duplicate sections wins", "[a]\nk=1\n[b]\nk=5\n[A]\nk=2\nj=3\n", "a", "k",
            "1" },
        { "second duplicate section is not read", "[a]\nk=1\n[A]\nj=3\n", "a", "j", std::nullopt },
        { "first of duplicate keys wins", "[a]\nk=1\nK=2\n", "a", "k", "1" },
        { "double quotes", "[a]\nk=\"x y\"\n", "a", "k", "x y" },
        { "single quotes", "[a]\nk='x y'\n", "a", "k", "x y" },
        { "quotes keep inner blanks", "[a]\nk=\" x \"\n", "a", "k", " x " },
        { "unmatched quotes stay", "[a]\nk=\"x'\n", "a", "k", "\"x'" },
        { "opening quote alone stays", "[a]\nk=\"abc\n", "a", "k", "\"abc" },
        { "one quote character", "[a]\nk=\"\n", "a", "k", "\"" },
        { "empty quotes", "[a]\nk=\"\"\n", "a", "k", "" },
        { "blanks around name and value", "[a]\n  K \t=  v v \t\n", "a", "k", "v v" },
        { "blanks inside brackets", "[  Program ]\nk=1\n", "program", "k", "1" },
        { "names without case", "[PROGRAM]\nmaxrudimixnotes=5\n", "Program", "MaxRudimixNotes",
            "5" },
        { "empty value", "[a]\nk=\n", "a", "k", "" },
        { "equals sign in the value", "[a]\nk=x=y\n", "a", "k", "x=y" },
        { "key in another section", "[a]\nj=1\n[b]\nk=2\n", "a", "k", std::nullopt },
        { "key before any section", "k=1\n[a]\nj=2\n", "a", "k", std::nullopt },
        { "missing section", "[b]\nk=1\n", "a", "k", std::nullopt },
        { "key name is a prefix", "[a]\nkey=1\n", "a", "k", std::nullopt },
        { "empty text", "", "a", "k", std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini::lookup(c.text, c.section, c.key), c.expected) << c.what;
}

TEST(IniLookup, HasSectionIgnoresCaseAndBlanks)
{
    EXPECT_TRUE(ini::hasSection("[a]\r\n[Software\\Maker X]\r\n", "software\\maker x"));
    EXPECT_TRUE(ini::hasSection("x=1\n  [ s ]  \n", "S"));
    EXPECT_FALSE(ini::hasSection("; [s]\n", "s"));
    EXPECT_FALSE(ini::hasSection("[st]\n", "s"));
}

TEST(IniReadString, ReturnsTheValueOrTheDefault)
{
    TempFolder folder;
    const QString file = folder.file("TAMBRIX.INI");
    TempFolder::write(file, "; host\r\n[program]\r\nMaxRudimixNotes=48\r\nEmpty=\r\n");
    const auto path = file.toStdString();

    EXPECT_EQ(ini::readString(path, "program", "MaxRudimixNotes", "#"), "48");
    EXPECT_EQ(ini::readString(path, "program", "Empty", "#"), "");
    EXPECT_EQ(ini::readString(path, "program", "Missing", "#"), "#");
    EXPECT_EQ(ini::readString(path, "other", "MaxRudimixNotes", "#"), "#");
    EXPECT_EQ(ini::readString(folder.file("none.ini").toStdString(), "program", "k", "#"), "#");
    // A folder is no settings file.
    EXPECT_EQ(ini::readString(folder.path().toStdString(), "program", "k", "#"), "#");
}

TEST(IniReadString, GivesAtMostBufferSizeMinusOneCharacters)
{
    TempFolder folder;
    const QString file = folder.file("long.ini");
    const std::string value(1030, 'v');
    TempFolder::write(file,
        QByteArray::fromStdString(
            "[a]\r\nk=" + value + "x\r\nj=" + value.substr(0, 1023) + "\r\n"));
    const auto path = file.toStdString();

    EXPECT_EQ(ini::readString(path, "a", "k", "#", 1024), value.substr(0, 1023));
    EXPECT_EQ(ini::readString(path, "a", "j", "#", 1024), value.substr(0, 1023));
    EXPECT_EQ(ini::readString(path, "a", "k", "#", 4), "vvv");
    EXPECT_EQ(ini::readString(path, "a", "missing", "#$%*&$#$%#", 4), "#$%");
}
