#include "defaultheader.h"
#include "midifile.h"
#include "tempdir.h"

#include <QDir>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

using standin::MidiEvent;
using standin::Performance;

// What midicsv reads in the file: the header's fields, the note-ons (time through the file's
// tempo events, key, velocity), the number of note-offs and the time of the track's end.
struct Heard {
    std::string header;
    std::vector<MidiEvent> ons;
    int offs = 0;
    double end = 0;
};

Heard readBack(const std::string& path)
{
    Heard heard;
    FILE* pipe = popen(("midicsv '" + path + "' 2>&1").c_str(), "r");
    char line[256], type[32];
    long tick = 0, last = 0, a = 0, b = 0, c = 0;
    double seconds = 0, micros = 500000;
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        const int n
            = std::sscanf(line, "%*d, %ld, %31[^,\n], %ld, %ld, %ld", &tick, type, &a, &b, &c);
        const std::string t = type;
        seconds += (tick - last) * micros / 480e6;
        last = tick;
        if (t == "Header")
            heard.header = std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c);
        else if (t == "Tempo")
            micros = double(a);
        else if (t == "End_track")
            heard.end = seconds;
        else if ((t == "Note_on_c" || t == "Note_off_c") && n == 5 && a == 9)
            (t == "Note_on_c" && c > 0) ? heard.ons.push_back({ seconds, {}, 9, int(b), int(c) })
                                        : void(++heard.offs);
        else
            EXPECT_TRUE(t == "Start_track" || t == "End_of_file" || (t == "Program_c" && a == 9))
                << line;
    }
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0);
    return heard;
}

TEST(StandInMidiFile, MidicsvReadsTheNotesBackWithinAMillisecond)
{
    const std::string startup
        = "48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55";
    const std::string slow = "SET TEMPO=10;SET REPEATS=3;SET TEMPOCHANGE=27;SET ETICKS=7;"
                             "SET PLAYBEAT=YES;SET TIMESIG=7/8;SET TRACKINSTRUMENT(1)=16";
    const std::vector<std::tuple<std::string, std::string, bool>> cases = {
        { kDefaultHeaderText, startup, false }, { kDefaultHeaderText, startup, true },
        { slow, "E5X,2F,38X>B+C,C0,19X", false }, // ticks of 12.5 ms: tempo corrections
    };
    TempFolder temp;
    const std::string path = temp.file(QStringLiteral("startup.mid")).toStdString();
    for (const auto& [header, pattern, noTimeSig] : cases) {
        SCOPED_TRACE(header);
        standin::Script script;
        Performance p;
        std::string error;
        ASSERT_TRUE(
            standin::parseScript(
                header + "\r\nRAW [new-rud]=" + pattern + "\r\n[new-rud]\r\n", script, error)
            && standin::buildPerformance(script, noTimeSig, p, error)
            && standin::writeMidiFile(p, path, error))
            << error;
        const Heard heard = readBack(path);
        EXPECT_EQ(heard.header, "0 1 480");
        std::vector<MidiEvent> ons;
        std::copy_if(p.events.begin(), p.events.end(), std::back_inserter(ons),
            [](const MidiEvent& e) { return e.type == MidiEvent::Type::NoteOn; });
        ASSERT_EQ(heard.ons.size(), ons.size());
        EXPECT_EQ(heard.offs, int(ons.size()));
        EXPECT_NEAR(heard.end, p.endSeconds, standin::kMidiToleranceSeconds);
        for (std::size_t i = 0; i < ons.size(); ++i) {
            EXPECT_NEAR(heard.ons[i].seconds, ons[i].seconds, 0.001) << i;
            EXPECT_EQ(heard.ons[i].key * 1000 + heard.ons[i].velocity,
                ons[i].key * 1000 + ons[i].velocity)
                << i;
        }
    }
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("startup.mid") });
}

TEST(StandInMidiFile, AFailedWriteNamesThePathAndLeavesNothingBehind)
{
    TempFolder temp;
    const std::string folder = temp.path().toStdString();
    ASSERT_TRUE(QDir().mkdir(temp.file(QStringLiteral("taken.mid"))));
    for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>> {
             { folder + "/missing/x.mid", ": No such file or directory" },
             { folder + "/taken.mid", ": Is a directory" },
             { folder + "/", ": the path names no file" } }) {
        std::string error;
        EXPECT_FALSE(standin::writeMidiFile(Performance(), path, error));
        EXPECT_EQ(error, "cannot write " + path + reason);
    }
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("taken.mid") });
}

} // namespace
