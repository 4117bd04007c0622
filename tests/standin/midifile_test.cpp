#include "defaultheader.h"
#include "midifile.h"
#include "tempdir.h"

#include <QDir>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using standin::MidiEvent;
using standin::Performance;

struct Heard {
    double seconds;
    int key;
    int velocity;
};

// Reads the file back with midicsv: its note-ons, their ticks converted through its tempo
// events, and the counts of note-offs, tempo events and the header's fields.
std::vector<Heard> readBack(const std::string& path, std::string& header, int& offs, double& end)
{
    std::vector<Heard> heard;
    FILE* pipe = popen(("midicsv '" + path + "' 2>&1").c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    char line[256];
    long last = 0;
    double seconds = 0;
    double micros = 500000;
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::istringstream in(std::string(line).substr(0, std::strcspn(line, "\r\n")));
        std::string track, tick, type, rest;
        std::getline(in, track, ',');
        std::getline(in, tick, ',');
        std::getline(in, type, ',');
        std::getline(in, rest);
        type = type.substr(1);
        if (type == "Header")
            header = rest;
        if (track == "0" || type == "Header" || type == "Start_track")
            continue;
        seconds += (std::stol(tick) - last) * micros / 480e6;
        last = std::stol(tick);
        int channel = 0, key = 0, velocity = 0;
        if (type == "Tempo")
            micros = std::stod(rest);
        else if (type == "End_track")
            end = seconds;
        else if (std::sscanf(rest.c_str(), " %d, %d, %d", &channel, &key, &velocity) == 3) {
            EXPECT_EQ(channel, 9) << line;
            if (type == "Note_on_c" && velocity > 0)
                heard.push_back({ seconds, key, velocity });
            else
                ++offs;
        } else {
            EXPECT_EQ(type, "Program_c") << line;
        }
    }
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0);
    return heard;
}

TEST(StandInMidiFile, MidicsvReadsTheNotesBackWithinAMillisecond)
{
    const std::string startup
        = "48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55";
    const std::vector<std::tuple<std::string, std::string, bool>> cases = {
        { kDefaultHeaderText, startup, false },
        { kDefaultHeaderText, startup, true },
        { "SET TEMPO=10;SET REPEATS=3;SET TEMPOCHANGE=27;SET ETICKS=7;SET PLAYBEAT=YES;SET "
          "TIMESIG=7/8;SET TRACKINSTRUMENT(1)=16",
            "E5X,2F,38X>B+C,C0,19X", false },
    };
    TempFolder temp;
    for (const auto& [header, pattern, noTimeSig] : cases) {
        SCOPED_TRACE(header);
        standin::Script script;
        Performance p;
        std::string error;
        ASSERT_TRUE(
            standin::parseScript(
                header + "\r\nRAW [new-rud]=" + pattern + "\r\n[new-rud]\r\n", script, error)
            && standin::buildPerformance(script, noTimeSig, p, error))
            << error;
        const std::string path = temp.file(QStringLiteral("startup.mid")).toStdString();
        ASSERT_TRUE(standin::writeMidiFile(p, path, error)) << error;
        std::string fileHeader;
        int offs = 0;
        double end = 0;
        const std::vector<Heard> heard = readBack(path, fileHeader, offs, end);
        EXPECT_EQ(fileHeader, " 0, 1, 480");
        std::vector<MidiEvent> ons;
        for (const MidiEvent& e : p.events) {
            if (e.type == MidiEvent::Type::NoteOn)
                ons.push_back(e);
        }
        ASSERT_EQ(heard.size(), ons.size());
        EXPECT_EQ(offs, int(ons.size()));
        EXPECT_NEAR(end, p.endSeconds, standin::kMidiToleranceSeconds);
        for (std::size_t i = 0; i < ons.size(); ++i) {
            EXPECT_NEAR(heard[i].seconds, ons[i].seconds, 0.001) << i;
            EXPECT_EQ(heard[i].key, ons[i].key) << i;
            EXPECT_EQ(heard[i].velocity, ons[i].velocity) << i;
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
    const std::vector<std::pair<std::string, std::string>> cases = {
        { folder + "/missing/x.mid", ": No such file or directory" },
        { folder + "/taken.mid", ": Is a directory" },
        { folder + "/", ": the path names no file" },
    };
    for (const auto& [path, reason] : cases) {
        std::string error;
        EXPECT_FALSE(standin::writeMidiFile(Performance(), path, error));
        EXPECT_EQ(error, "cannot write " + path + reason);
    }
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("taken.mid") });
}

} // namespace
