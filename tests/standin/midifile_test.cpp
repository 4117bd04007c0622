#include "defaultheader.h"
#include "midifile.h"
#include "midifilewriter.h"
#include "tempdir.h"

#include <QDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using standin::MidiEvent;
using standin::Performance;

// Reads the file with midicsv and compares what it reads with the performance: the header's
// fields, the track's name and time signature, every note-on (time through the file's tempo
// events, key, velocity) with the performance's start at startTick, as many note-offs, the time
// of the track's end, and nothing else but a program change.
void expectReadsBack(
    const std::string& path, const Performance& p, long startTick, const std::string& meta)
{
    const double shift = startTick * p.events.front().microsPerQuarter / 480e6 - p.startSeconds;
    std::vector<MidiEvent> ons;
    std::copy_if(p.events.begin(), p.events.end(), std::back_inserter(ons),
        [](const MidiEvent& e) { return e.type == MidiEvent::Type::NoteOn; });
    FILE* pipe = popen(("midicsv '" + path + "' 2>&1").c_str(), "r");
    char line[256], type[32];
    long tick = 0, last = 0, a = 0, b = 0, c = 0;
    double seconds = 0, micros = 500000, end = -1;
    std::size_t on = 0, offs = 0;
    std::string header, metaRead;
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        const int n
            = std::sscanf(line, "%*d, %ld, %31[^,\n], %ld, %ld, %ld", &tick, type, &a, &b, &c);
        const std::string t = type;
        seconds += (tick - last) * micros / 480e6;
        last = tick;
        if (t == "Header")
            header = std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c);
        else if (t == "Tempo")
            micros = double(a);
        else if (t == "End_track")
            end = seconds;
        else if ((t == "Title_t" || t == "Time_signature") && tick == 0)
            metaRead += std::string(line).substr(std::string(line).find(t));
        else if (t == "Note_on_c" && n == 5 && a == 9 && c > 0 && on++ < ons.size()) {
            EXPECT_NEAR(seconds, ons[on - 1].seconds + shift, 0.001) << on;
            EXPECT_EQ(b * 1000 + c, ons[on - 1].key * 1000 + ons[on - 1].velocity) << on;
        } else if ((t == "Note_on_c" || t == "Note_off_c") && n == 5 && a == 9)
            offs += t == "Note_off_c" || c == 0;
        else
            EXPECT_TRUE(t == "Start_track" || t == "End_of_file" || (t == "Program_c" && a == 9))
                << line;
    }
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0);
    EXPECT_EQ(header, "0 1 480");
    EXPECT_EQ(on, ons.size());
    EXPECT_EQ(offs, ons.size());
    EXPECT_NEAR(end, p.endSeconds + shift, standin::kMidiToleranceSeconds);
    EXPECT_EQ(metaRead, meta);
}

TEST(StandInMidiFile, MidicsvReadsTheNotesBackWithinAMillisecond)
{
    const std::string startup
        = "48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55";
    const std::string slow = "SET TEMPO=10;SET REPEATS=3;SET TEMPOCHANGE=27;SET ETICKS=7;"
                             "SET PLAYBEAT=YES;SET TIMESIG=7/8;SET TRACKINSTRUMENT(1)=16";
    // The flam's grace note comes before the first note: a bar of count-in in the time signature.
    const std::string meta4 = "Title_t, \"new-rud\"\nTime_signature, 4, 2, 24, 8\n";
    const std::vector<std::tuple<std::string, std::string, bool, long, std::string>> cases = {
        { kDefaultHeaderText, startup, false, 1920, meta4 },
        { kDefaultHeaderText, startup, true, 1920, meta4 },
        { kDefaultHeaderText, "45,48X", false, 0, meta4 },
        { slow, "E5X,2F,38X>B+C,C0,19X", false, 1680, // ticks of 12.5 ms: tempo corrections
            "Title_t, \"new-rud\"\nTime_signature, 7, 3, 24, 8\n" },
    };
    TempFolder temp;
    const std::string path = temp.file(QStringLiteral("startup.mid")).toStdString();
    const mode_t umask = ::umask(027);
    for (const auto& [header, pattern, noTimeSig, startTick, meta] : cases) {
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
        expectReadsBack(path, p, startTick, meta);
        EXPECT_EQ(QFile::permissions(QString::fromStdString(path)) & 0x7777, 0x6640)
            << "the umask 027 applies";
    }
    ::umask(umask);
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("startup.mid") });
}

TEST(StandInMidiFile, AFailedWriteNamesThePathAndLeavesNothingBehind)
{
    TempFolder temp;
    const std::string folder = temp.path().toStdString();
    ASSERT_TRUE(QDir().mkdir(temp.file(QStringLiteral("taken.mid"))));
    for (const auto& [path, reason] :
        std::vector<std::pair<std::string, std::string>> {
            { folder + "/missing/x.mid",
                ": the folder " + folder
                    + "/missing cannot take a new file (No such file or "
                      "directory)" },
            { folder + "/taken.mid", ": Is a directory" }, { folder + "/", ": Is a directory" } }) {
        std::string error;
        EXPECT_FALSE(standin::writeMidiFile(Performance(), path, error));
        EXPECT_EQ(error, "cannot write " + path + reason);
    }
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("taken.mid") });
}

} // namespace
