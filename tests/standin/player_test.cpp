#include "defaultheader.h"
#include "signalprocess.h"
#include "tempdir.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
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
            "cannot write " + f + "/missing/out.wav: the folder " + f
                + "/missing cannot take a new file (No such file or directory)" },
        // Nothing but a regular file is replaced; nothing is written when anything fails.
        { { "--render", "/dev/null", script }, 7,
            "cannot write /dev/null: a character device, which is never replaced" },
        { { "--midi", f + "/fifo.mid", script }, 7,
            "cannot write " + f + "/fifo.mid: a named pipe, which is never replaced" },
        { { "--render", "/", script }, 7, "cannot write /: Is a directory" },
        { { "--midi", "..", script }, 7, "cannot write ..: Is a directory" },
        { { "--midi", f + "/keep.mid", "--soundfont", f + "/none.sf2", "--render", wav, script }, 4,
            "no SoundFont: " },
        { { "--midi", f + "/keep.mid", "--render", f + "/missing/out.wav", script }, 7,
            "cannot write " + f + "/missing/out.wav: the folder" },
        { { "--render", f + "/a folder.wav", script }, 7,
            "cannot write " + f + "/a folder.wav: Is a directory" },
        { { "--midi", f + "/missing/out.mid", script }, 7,
            "cannot write " + f + "/missing/out.mid" },
        { { "--sheet", f + "/missing/out.musicxml", script }, 7,
            "cannot write " + f + "/missing/out.musicxml: the folder" },
        { { "--sheet", f + "/keep.musicxml", "--midi", f + "/fifo.mid", script }, 7,
            "cannot write " + f + "/fifo.mid: a named pipe" },
    };
    // Every file but the log as it was: no output, no temporary file, no file changed.
    TempFolder::write(folder + QStringLiteral("/keep.mid"), "kept");
    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(folder + QStringLiteral("/fifo.mid")).constData(), 0600), 0);
    auto files = [&] {
        QStringList list = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        list.removeAll(QStringLiteral("TAMBRIX.LOG"));
        for (QString& name : list) {
            if (QFileInfo(folder + u'/' + name).isFile())
                name += u' ' + QString::fromLatin1(TempFolder::read(folder + u'/' + name).toHex());
        }
        return list;
    };
    const QStringList before = files();
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
        EXPECT_EQ(files(), before);
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

// A signal ends any run within a second, its log written and no unfinished file left; the lock
// lies in a folder of the user's own, and a lock file that is not one names what is wrong.
TEST_F(Host, SignalsEndItAndTheLockIsTheUsersOwn)
{
    QByteArray header(kDefaultHeaderText);
    header.replace("SET REPEATS=3", "SET REPEATS=1000");
    writeScript(header, "48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65");
    const QString log = folder + QStringLiteral("/TAMBRIX.LOG");
    for (const auto& [arguments, signal, exitCode, line] :
        std::vector<std::tuple<QStringList, int, int, QByteArray>> {
            { { "--render", folder + "/long.wav", script }, SIGTERM, 143,
                "TAMBRIX.EXE: ended by SIGTERM before it had finished\n" },
            { { "--audio-driver", "file", script }, SIGINT, 0, "Stopped" } }) {
        QFile::remove(log);
        auto process = start(arguments);
        // Once it prints, it has its signal handling (a busy machine may take longer than the
        // 300 ms waited here before to get that far).
        process->waitForReadyRead(10000);
        QTest::qWait(300);
        signalProcess(*process, signal);
        ASSERT_TRUE(process->waitForFinished(10000));
        EXPECT_EQ(process->exitCode(), exitCode);
        EXPECT_TRUE(TempFolder::read(log).contains(line)) << TempFolder::read(log).toStdString();
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
            QStringList({ "DudEderava.drum", "TAMBRIX.EXE", "TAMBRIX.LOG" }));
    }

    const QString runtime = temp.file(QStringLiteral("runtime"));
    const QString lock = runtime + QStringLiteral("/rudimix-tambrix.lock");
    const QString cache = temp.file(QStringLiteral("cache"));
    const std::vector<std::tuple<QString, int, QString>> cases = {
        { "folder", 9, "the lock file " + lock + " is a folder; remove it" },
        { "link", 9, "the lock file " + lock + " is a symbolic link; remove it" },
        { "fifo", 9, "the lock file " + lock + " is not a regular file; remove it" },
        { "no runtime folder", 0, "" }, // then under XDG_CACHE_HOME, only the user's
        { "lock folder writable by others", 9,
            "the lock folder " + cache + "/rudimix can be written by other users" },
    };
    for (const auto& [kind, exitCode, message] : cases) {
        SCOPED_TRACE(kind.toStdString());
        QDir().rmdir(lock);
        QFile::remove(lock);
        if (kind == "folder") {
            ASSERT_TRUE(QDir().mkpath(lock));
        }
        if (kind == "link") {
            ASSERT_TRUE(QFile::link(temp.file("target"), lock));
        }
        if (kind == "fifo") {
            ASSERT_EQ(::mkfifo(QFile::encodeName(lock).constData(), 0600), 0);
        }
        if (kind == "no runtime folder") {
            environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
            environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
        }
        if (kind == "lock folder writable by others")
            QFile::setPermissions(cache + "/rudimix", QFileDevice::Permissions(0x7777));
        auto process = start({ "--stop" });
        ASSERT_TRUE(process->waitForFinished(10000));
        EXPECT_EQ(process->exitCode(), exitCode);
        EXPECT_EQ(process->readAllStandardError(),
            message.isEmpty() ? QByteArray() : ("TAMBRIX.EXE: " + message + "\n").toUtf8());
        if (kind == "no runtime folder") {
            EXPECT_EQ(QFileInfo(cache + "/rudimix").permissions() & 0x77, 0); // group, others
        }
    }
}

} // namespace
