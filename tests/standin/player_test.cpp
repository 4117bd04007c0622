#include "defaultheader.h"
#include "tempdir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
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
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }
};

TEST_F(Host, FailuresNameTheirCauseQuicklyAndLeaveNoFile)
{
    TempFolder::write(
        folder + QStringLiteral("/broken.sf2"), QByteArray("RIFF\x10\0\0\0sfbkLIST", 16));
    QDir().mkpath(folder + QStringLiteral("/a folder.wav"));
    struct Case {
        QStringList arguments;
        const char* pulseServer; // for the pulseaudio driver
        int exitCode;
        QString message;
        QString output; // must not exist afterwards
    };
    const QString wav = folder + QStringLiteral("/out.wav");
    const std::vector<Case> cases = {
        { { "--soundfont", folder + "/none.sf2", "--render", wav, script }, nullptr, 4,
            "no SoundFont: " + folder + "/none.sf2 does not exist", wav },
        { { "--soundfont", folder + "/broken.sf2", "--render", wav, script }, nullptr, 5,
            "cannot read the SoundFont " + folder + "/broken.sf2", wav },
        { { "--audio-driver", "pulseaudio", script }, "unix:/nonexistent/native", 6,
            "no audio device (pulseaudio: ", {} },
        { { "--audio-driver", "no-such-driver", script }, nullptr, 6,
            "no audio device (no-such-driver: ", {} },
        { { "--render", folder + "/missing/out.wav", script }, nullptr, 7,
            "cannot write " + folder + "/missing/out.wav: No such file or directory", {} },
        { { "--render", folder + "/a folder.wav", script }, nullptr, 7,
            "cannot write " + folder + "/a folder.wav: Is a directory", {} },
        { { "--midi", folder + "/missing/out.mid", script }, nullptr, 7,
            "cannot write " + folder + "/missing/out.mid", {} },
    };
    const QStringList before = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        QFile::remove(folder + QStringLiteral("/TAMBRIX.LOG"));
        environment.remove(QStringLiteral("PULSE_SERVER"));
        if (c.pulseServer)
            environment.insert(QStringLiteral("PULSE_SERVER"), QLatin1String(c.pulseServer));
        QElapsedTimer timer;
        timer.start();
        auto process = start(c.arguments);
        ASSERT_TRUE(process->waitForFinished(10000));
        EXPECT_LT(timer.elapsed(), 2000);
        EXPECT_EQ(process->exitCode(), c.exitCode);
        const QString err = QString::fromUtf8(process->readAllStandardError());
        EXPECT_EQ(err.count(u'\n'), 1) << err.toStdString();
        EXPECT_TRUE(err.startsWith("TAMBRIX.EXE: " + c.message)) << err.toStdString();
        EXPECT_TRUE(
            TempFolder::read(folder + QStringLiteral("/TAMBRIX.LOG")).contains(err.toUtf8()));
        EXPECT_TRUE(c.output.isEmpty() || !QFile::exists(c.output));
        QStringList after = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        after.removeAll(QStringLiteral("TAMBRIX.LOG"));
        EXPECT_EQ(after, before) << "a file was left behind";
    }
}

TEST_F(Host, PlaysOnePerformanceAtATimeAndStops)
{
    // Long enough (20 repeats) to outlast ten start-ups on a busy machine.
    QByteArray header(kDefaultHeaderText);
    header.replace("SET REPEATS=3", "SET REPEATS=20");
    writeScript(header, "48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65");
    std::vector<std::unique_ptr<QProcess>> players;
    for (int i = 0; i < 10; ++i)
        players.push_back(start({ "-notimesig", "--audio-driver", "file", script }));
    auto playing = [&] {
        int count = 0;
        for (auto& p : players)
            count += p->state() != QProcess::NotRunning && !p->waitForFinished(0);
        return count;
    };
    // Every newer one stops the one playing: once all have started, one is left.
    QElapsedTimer settling;
    settling.start();
    while (playing() > 1 && settling.elapsed() < 20000)
        QThread::msleep(20);
    EXPECT_EQ(playing(), 1);

    auto stop = start({ "--stop" });
    ASSERT_TRUE(stop->waitForFinished(5000));
    EXPECT_EQ(stop->exitCode(), 0);
    EXPECT_TRUE(stop->readAllStandardOutput().startsWith("Stopped the performance of process"));
    QElapsedTimer timer;
    timer.start();
    while (playing() > 0 && timer.elapsed() < 2000)
        QThread::msleep(20);
    EXPECT_EQ(playing(), 0) << "a performance still plays after --stop";
    int stopped = 0;
    for (auto& p : players) {
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
        stopped += p->readAllStandardOutput().contains("Stopped");
    }
    EXPECT_EQ(stopped, 10) << "every performance was ended by a newer one or by --stop";

    stop = start({ "--stop" });
    ASSERT_TRUE(stop->waitForFinished(5000));
    EXPECT_EQ(stop->readAllStandardOutput(), "No performance is playing.\n");
}

} // namespace
