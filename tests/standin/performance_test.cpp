#include "performance.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <utility>

namespace {

using standin::MidiEvent;
using standin::Performance;

// The performance of a header (lines joined with CR LF) and a pattern line. Without "error" it
// must build; with it, "error" gets why it does not (empty if it does).
Performance build(const std::string& header, const std::string& pattern, bool noTimeSig = false,
    std::string* error = nullptr)
{
    standin::Script script;
    Performance p;
    std::string why;
    const bool ok = standin::parseScript(
                        header + "\r\nRAW [new-rud]=" + pattern + "\r\n[new-rud]\r\n", script, why)
        && standin::buildPerformance(script, noTimeSig, p, why);
    EXPECT_TRUE(ok || error) << why;
    if (error)
        *error = ok ? "" : why.empty() ? "(no reason)" : why;
    return p;
}

// The events as "ms key/velocity" notes, "ms Tmicros" tempo changes after the start and "ms Pn"
// programs other than 0 (times rounded to 0.1 ms), after checking the list's promises: sorted,
// every note-on released later, never two sounding notes of one key.
std::string notes(const Performance& p)
{
    std::string text;
    std::map<int, bool> sounding;
    for (std::size_t i = 0; i < p.events.size(); ++i) {
        const MidiEvent& e = p.events[i];
        EXPECT_TRUE(i == 0 || p.events[i - 1].seconds <= e.seconds) << i;
        EXPECT_LE(e.seconds, p.endSeconds + 1e-9);
        using T = MidiEvent::Type;
        if (e.type == T::NoteOn || e.type == T::NoteOff) {
            EXPECT_NE(std::exchange(sounding[e.key], e.type == T::NoteOn), e.type == T::NoteOn);
        }
        char item[48] = "";
        const double ms = std::round(e.seconds * 1e4) / 10;
        if (e.type == T::NoteOn)
            std::snprintf(item, sizeof item, ", %g %d/%d", ms, e.key, e.velocity);
        else if (e.type == T::Tempo && e.seconds > 0)
            std::snprintf(item, sizeof item, ", %g T%d", ms, e.microsPerQuarter);
        else if (e.type == T::ProgramChange && e.key != 0)
            std::snprintf(item, sizeof item, ", %g P%d", ms, e.key);
        text += item;
    }
    for (const auto& [key, on] : sounding)
        EXPECT_FALSE(on) << "never released: " << key;
    return text.substr(text.empty() ? 0 : 2);
}

TEST(StandInPerformance, NoteTypesLastTheirTicksAtTheTempo)
{
    const int ticks[15] = { 120, 60, 40, 30, 20, 15, 10, 24, 18, 120, 120, 77, 120, 120, 1 };
    for (int tempo : { 100, 37 }) {
        const std::string header
            = "SET TEMPO=" + std::to_string(tempo) + ";SET cticks= 77;SET FTICKS=1";
        for (int t = 0; t < 15; ++t) {
            const auto e = build(header, { "123456789ABCDEF"[t], '5', ',', '1', '5' }, true).events;
            EXPECT_NEAR(e.at(4).seconds - e.at(2).seconds, ticks[t] * 0.5 / tempo, 1e-9);
            EXPECT_NEAR(e[2].seconds, 0.05, 1e-12);
        }
    }
}

TEST(StandInPerformance, PlaysTheHeaderAsDocumented)
{
    const std::string voices = "SET TEMPO=120;SET TRACKVOICES(1)= 1, 2 ,3,4,5,6";
    const std::string clicks = voices + ";SET TIMESIG=2/4;SET PLAYBEAT=yes;SET PLAYBAR=YES";
    const std::string timesig = "SET TEMPO=120;SET TIMESIG=3/4;SET REPEATS=2";
    const std::string intro = "SET TEMPO=120;SET REPEATS=2;SET TEMPOCHANGE=60\r\nRAW [IN]=15>B\r\n"
                              "RAW [tr]=25>C\r\nSet Intro = in;SET TRANSITION=[Tr]";
    const std::vector<std::tuple<std::string, std::string, bool, std::string>> cases = {
        { voices, "19>A+F,10,15>B,11>C+D+E", false,
            "50 1/127, 50 6/127, 1050 2/71, 1550 3/14, 1550 4/14, 1550 5/14" },
        { "SET TEMPO=120", "25>A+B+C+D+E+F", false,
            "50 35/71, 50 40/71, 50 42/71, 50 45/71, 50 46/71, 50 50/71" },
        { "SET TEMPO=120", "48X>A+B,41X", false,
            "20 35/56, 20 40/56, 50 35/113, 50 40/113, 145 40/7, 175 40/14" },
        { "SET TRACKVOICES(1)=40,40,1,2,3,4", "15>A+B", false, "50 40/71" },
        { "SET TEMPO=100;SET REPEATS=3;SET TEMPOCHANGE=-50;SET TRACKINSTRUMENT(1)=25", "15", true,
            "0 P25, 50 40/71, 650 T1200000, 650 40/71, 1850 T6000000, 1850 40/71" },
        { timesig, "15,25", false, "50 40/71, 550 40/71, 1550 40/71, 2050 40/71" },
        { timesig, "15,25", true, "50 40/71, 550 40/71, 800 40/71, 1300 40/71" },
        { clicks, "15,15,15", false,
            "50 1/71, 50 76/100, 550 1/71, 550 77/100, 1050 1/71, 1050 76/100, 1550 77/100" },
        { clicks, "15,15,15", true,
            "50 1/71, 50 76/100, 550 1/71, 550 77/100, 1050 1/71, 1050 77/100" },
        { "SET TIMESIG=6/8;SET PLAYBAR=YES;SET TEMPO=120", "10", false, "50 76/100" },
        { intro, "15,15", true,
            "50 35/71, 550 40/71, 1050 40/71, 1550 42/71, 1800 T333333, 1800 40/71, 2133.3 40/71" },
    };
    for (const auto& [header, pattern, noTimeSig, expected] : cases)
        EXPECT_EQ(notes(build(header, pattern, noTimeSig)), expected) << header << " | " << pattern;
}

TEST(StandInPerformance, RefusesMalformedValuesNamingTheLine)
{
    auto refuses = [](const std::string& header, const std::string& message,
                       const std::string& pattern = "D5X>A+B+C+D+E+F,15") {
        std::string error;
        build(header, pattern, false, &error);
        EXPECT_EQ(error.substr(0, message.size()), message) << header << ": " << error;
        EXPECT_EQ(error.empty(), message.empty()) << header;
    };
    // Each value of a single setting on line 1: "line 1: <setting>: <message>".
    const std::vector<std::pair<std::string, std::vector<std::string>>> values = {
        { "the tempo must be a whole number from 10 to 1000",
            { "TEMPO=fast", "TEMPO=", "TEMPO=99999999999" } },
        { "the length of a note in ticks must be a whole", { "ATICKS=0", "BTICKS=-5" } },
        { "six MIDI", { "TRACKVOICES(1)=40,35,42,46,50", "TRACKVOICES(1)=1,2,3,4,5,6,7" } },
        { "the key of voice F", { "TRACKVOICES(1)=1,2,3,4,5,128" } },
        { "the key of voice C", { "TRACKVOICES(1)=1,2,,4,5,6" } },
        { "the MIDI program", { "TRACKINSTRUMENT(1)=128" } },
        { "the number of repeats must be a whole number", { "REPEATS=-1", "REPEATS=1001" } },
        { "the change of tempo", { "TEMPOCHANGE=5.5" } },
        { "the time signature must be n/d",
            { "TIMESIG=4", "TIMESIG=4/3", "TIMESIG=0/4", "TIMESIG=4/64" } },
        { "the value must be YES or NO", { "PLAYBEAT=maybe" } },
        { "the script has no pattern \"RAW [fill]=\"", { "INTRO=fill" } },
    };
    for (const auto& [message, settings] : values)
        for (const std::string& setting : settings)
            refuses("SET " + setting, "line 1: " + setting + ": " + message);
    refuses("'x\r\nSET TEMPO=0", "line 2: TEMPO=0: the tempo must be");
    refuses("RAW [x]=15,Z5\r\nSET TRANSITION=x", "line 1: note 2 \"Z5\": the note type");
    refuses("SET TEMPO=10;SET REPEATS=1000;SET DTICKS=3840",
        "the performance would last more than 3600");
    std::string many = "19X>A+B+C+D+E+F"; // 42 notes of 12 strikes
    for (int i = 1; i < 42; ++i)
        many += ",79X>A+B+C+D+E+F";
    refuses(
        "SET TEMPO=1000;SET REPEATS=1000", "the performance would sound more than 500000", many);
    refuses("SET REPEATS=100;SET TRACKINSTRUMENT(1)=0", ""); // within the limits
}

TEST(StandInPerformance, ReportsEachUnknownSettingOnce)
{
    const Performance p = build("SET FOO=1;SET tempo=90\r\nSET foo = 2;SET TRACKVOICES(2)=1", "15");
    EXPECT_EQ(p.notices,
        (std::vector<std::string> { "line 1: the setting FOO is unknown; ignored",
            "line 2: the setting TRACKVOICES(2) is unknown; ignored" }));
    EXPECT_NEAR(p.endSeconds, 0.05 + 60.0 / 90, 1e-9); // a quarter at 90, no bar to fill
}

} // namespace
