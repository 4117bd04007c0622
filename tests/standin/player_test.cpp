#include "defaultheader.h"
#include "tempdir.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <tuple>
#include <vector>

// The built TAMBRIX.EXE making sound: its failures, and one live performance at a time. Each
// test has its own copy of the host (so its own TAMBRIX.LOG) and its own runtime folder (so its
// own player lock). Live playing uses FluidSynth's "file" driver, real-time paced into
// /dev/null: no sound server needed.
namespace {

struct Host : ::testing::Test {
    TempFolder temp;
    QString folder = temp.file(QStringLiteral("host"));
    QString exe = folder + QStringLiteral("/TAMBRIX.EXE");
    QString script = folder + QStringLiteral("/DudEderava.drum");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    Host()
    {
        EXPECT_TRUE(QDir().mkpath(folder));
        EXPECT_TRUE(QDir().mkpath(temp.file(QStringLiteral("runtime"))));
        EXPECT_TRUE(QFile::copy(QStringLiteral(TAMBRIX_EXE), exe));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), temp.file(QStringLiteral("runtime")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), temp.file(QStringLiteral("config")));
        writeScript("SET TEMPO=100;SET REPEATS=1", "48X,45,45,48X");
    }

    void writeScript(const QByteArray& header, const char* line)
    {
        TempFolder::write(
            script, QByteArray(header) + "\r\nRAW [new-rud]=" + line + "\r\n[new-rud]\r\n");
    }

    std::unique_ptr<QProcess> start(const QStringList& arguments)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(folder);
        process->start(exe, arguments);
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }
};

TEST_F(Host, FailuresNameTheirCauseQuicklyAndLeaveNoFile)
{
    TempFolder::write(
        folder + QStringLiteral("/broken.sf2"), QByteArray("RIFF\x10\0\0\0sfbkLIST", 16));
    QDir().mkpath(folder + QStringLiteral("/a folder.wav"));
    // No sound server answers here.
    environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/native"));
    const QString wav = folder + QStringLiteral("/out.wav"), f = folder;
    const std::vector<std::tuple<QStringList, int, QString>> cases = {
        { { "--soundfont", f + "/none.sf2", "--render", wav, script }, 4,
            "no SoundFont: " + f + "/none.sf2 does not exist" },
        { { "--soundfont", f + "/broken.sf2", "--render", wav, script }, 5,
            "cannot read the SoundFont " + f + "/broken.sf2" },
        { { "--audio-driver", "pulseaudio", script }, 6, "no audio device (pulseaudio: " },
        { { "--audio-driver", "no-such-driver", script }, 6, "no audio device (no-such-driver: " },
        { { "--render", f + "/missing/out.wav", script }, 7,
            "cannot write " + f + "/missing/out.wav: No such file or directory" },
        { { "--render", f + "/a folder.wav", script }, 7,
            "cannot write " + f + "/a folder.wav: Is a directory" },
        { { "--midi", f + "/missing/out.mid", script }, 7,
            "cannot write " + f + "/missing/out.mid" },
    };
    // Every file but the log as it was: no output, no temporary file.
    const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const auto& [arguments, exitCode, message] : cases) {
        SCOPED_TRACE(message.toStdString());
        QFile::remove(folder + QStringLiteral("/TAMBRIX.LOG"));
        auto process = start(arguments);
        // Only a hang fails here; bench/host_bench measures how soon each failure comes.
        ASSERT_TRUE(process->waitForFinished(10000));
        EXPECT_EQ(process->exitCode(), exitCode);
        const QString err = QString::fromUtf8(process->readAllStandardError());
        EXPECT_TRUE(
            err.startsWith("TAMBRIX.EXE: " + message) && err.indexOf(u'\n') == err.size() - 1)
            << err.toStdString();
        EXPECT_TRUE(
            TempFolder::read(folder + QStringLiteral("/TAMBRIX.LOG")).contains(err.toUtf8()));
        QStringList after = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        after.removeAll(QStringLiteral("TAMBRIX.LOG"));
        EXPECT_EQ(after, before);
    }
}

TEST_F(Host, PlaysOnePerformanceAtATimeAndStops)
{
    // Long enough (100 repeats at one tempo: 180 s) to outlast ten start-ups on a busy machine,
    // which the small SoundFont keeps light (ten loads of the large default one took 15 s).
    QByteArray header(kDefaultHeaderText);
    header.replace("SET REPEATS=3;SET TEMPOCHANGE=10", "SET REPEATS=100;SET TEMPOCHANGE=0");
    writeScript(header, "48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65");
    std::vector<std::unique_ptr<QProcess>> players;
    for (int i = 0; i < 10; ++i)
        players.push_back(start({ "-notimesig", "--audio-driver", "file", "--soundfont",
            "/usr/share/sounds/sf2/TimGM6mb.sf2", script }));
    auto playing = [&] {
        int count = 0;
        for (auto& p : players)
            count += p->state() != QProcess::NotRunning && !p->waitForFinished(0);
        return count;
    };
    auto stop = [&] {
        auto process = start({ "--stop" });
        EXPECT_TRUE(process->waitForFinished(10000));
        EXPECT_EQ(process->exitCode(), 0);
        return process->readAllStandardOutput();
    };
    // Every newer one stops the one playing: once all have started, one is left.
    EXPECT_TRUE(QTest::qWaitFor([&] { return playing() <= 1; }, 60000));
    EXPECT_EQ(playing(), 1);
    EXPECT_TRUE(stop().startsWith("Stopped the performance of process"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return playing() == 0; }, 10000))
        << "a performance still plays after --stop";
    int stopped = 0;
    for (auto& p : players) {
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
        stopped += p->readAllStandardOutput().contains("Stopped");
    }
    EXPECT_EQ(stopped, 10) << "every performance was ended by a newer one or by --stop";
    EXPECT_EQ(stop(), "No performance is playing.\n");
}

} // namespace
