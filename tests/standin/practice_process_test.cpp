// The practice window as a process (its own start on the offscreen platform, FluidSynth's "file"
// driver): the stop signals at every point of its life, its socket under attack, and TAMBRIX.EXE
// on displays that answer the probe but not Qt.
#include "handover.h"
#include "signalprocess.h"
#include "tempdir.h"

#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Process = std::unique_ptr<QProcess>;

// A window (or TAMBRIX.EXE) in a folder of its own: runtime folder, settings, the program linked
// into host/ (so that TAMBRIX.LOG goes there) and the scripts one.drum and two.drum.
struct Host {
    TempFolder temp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    explicit Host(const QString& program = PRACTICE_DRIVER)
    {
        for (const char* folder : { "run", "config/Rudimix", "host" })
            QDir().mkpath(temp.file(folder));
        QFile::setPermissions(
            temp.file("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::link(program, temp.file("host/TAMBRIX.EXE"));
        for (const auto& [name, value] : { std::pair { "XDG_RUNTIME_DIR", temp.file("run") },
                 { "XDG_CONFIG_HOME", temp.file("config") }, { "HOME", temp.path() },
                 { "QT_QPA_PLATFORM", QString("offscreen") } })
            environment.insert(name, value);
        for (const char* script : { "one.drum", "two.drum" })
            TempFolder::write(
                temp.file(script), "SET TEMPO=300\r\nRAW [new-rud]=48X,2,2,2\r\n[new-rud]\r\n");
    }
    QString socket() const { return temp.file("run/rudimix-tambrix.socket"); }
    QByteArray log() const { return TempFolder::read(temp.file("host/TAMBRIX.LOG")); }
    Process start(const char* script) const
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        QStringList arguments { "--audio-driver", "file", "-notimesig", temp.file(script) };
        if (QFileInfo::exists("/usr/share/sounds/sf2/TimGM6mb.sf2"))
            arguments.prepend("--soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2");
        process->start(temp.file("host/TAMBRIX.EXE"), arguments);
        process->waitForStarted(10000);
        return process;
    }
};

// Waits until the output holds the text (20 s at most: a bound that only catches a hang, with
// room for windows starting on a loaded machine).
bool waitFor(QProcess& process, QByteArray& output, const QByteArray& text)
{
    QElapsedTimer clock;
    for (clock.start(); !output.contains(text) && clock.elapsed() < 20000;) {
        process.waitForReadyRead(50);
        output += process.readAllStandardOutput();
        if (process.state() == QProcess::NotRunning && !output.contains(text))
            return false;
    }
    return output.contains(text);
}

bool finished(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(10000);
}

bool lockHeld(const QString& runtime)
{
    const int fd = ::open(QFile::encodeName(runtime + "/rudimix-tambrix.lock").constData(), O_RDWR);
    struct flock lock { };
    lock.l_type = F_WRLCK;
    const bool held = fd >= 0 && ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

// SIGTERM, SIGINT and SIGHUP (three windows at a time, five rounds) at each point of the window's
// life: each ends with exit code 0, "Stopped by SIG..." on stdout and in the log, no socket left
// and the lock free. The slowest end after its signal is printed for each point.
TEST(PracticeProcess, StopSignalsEndTheWindowAtEveryPoint)
{
    const struct {
        const char* point;
        const char* awaited; // on the window's stdout, before the signal
        int waitMs; // then (-1: none, and the window starts only when its turn comes)
        const char* setting; // of the window's own settings file
        bool handOver, dialog;
    } rows[] = { { "loading", "[driver] application", -1, "", false, false },
        { "playing", "first note made", 0, "", false, false },
        { "looping", "first note made", 1500, "loop=true", false, false },
        { "stopped", "[driver] stopped", 0, "", false, false },
        { "during a hand-over", "first note made", 0, "", true, false },
        { "modal dialog open", "[driver] dialog", 0, "", false, true } };
    const int stopSignals[] = { SIGTERM, SIGINT, SIGHUP };
    for (const auto& row : rows) {
        qint64 slowest = 0;
        for (int round = 0; round < 5; ++round) {
            struct Run {
                Host host;
                Process window, second;
                QByteArray output;
            } runs[3];
            // The windows start together; each is waited for at its point, signalled and timed
            // to its end in turn (the ones still loading start only when their turn comes).
            auto start = [&row](Run& run) {
                TempFolder::write(run.host.temp.file("config/Rudimix/tambrix-practice.ini"),
                    QByteArray("[General]\n") + row.setting + "\n");
                run.host.environment.insert("PRACTICE_DRIVER_SAVE_AS", row.dialog ? "1" : "0");
                run.window = run.host.start("one.drum");
            };
            for (Run& run : runs)
                if (row.waitMs >= 0)
                    start(run);
            for (int i = 0; i < 3; ++i) {
                Run& run = runs[i];
                const std::string line
                    = "Stopped by SIG" + std::string(::sigabbrev_np(stopSignals[i])) + ".\n";
                SCOPED_TRACE(row.point + (", " + line) + "round " + std::to_string(round));
                if (!run.window)
                    start(run);
                ASSERT_TRUE(waitFor(*run.window, run.output, row.awaited))
                    << run.output.toStdString();
                QTest::qWait(std::max(0, row.waitMs));
                if (row.handOver) {
                    run.second = run.host.start("two.drum");
                    ASSERT_TRUE(waitFor(*run.window, run.output, "two.drum"))
                        << run.output.toStdString();
                }
                QElapsedTimer sent;
                sent.start();
                signalProcess(*run.window, stopSignals[i]);
                ASSERT_TRUE(finished(*run.window));
                slowest = std::max(slowest, sent.elapsed());
                run.output += run.window->readAllStandardOutput();
                EXPECT_EQ(run.window->exitStatus(), QProcess::NormalExit);
                EXPECT_EQ(run.window->exitCode(), 0);
                EXPECT_TRUE(
                    run.output.contains(line.c_str()) && run.host.log().contains(line.c_str()));
                EXPECT_FALSE(QFileInfo::exists(run.host.socket()));
                EXPECT_FALSE(lockHeld(run.host.temp.file("run")));
                if (run.second && !finished(*run.second)) // plays on its own: ended here
                    signalProcess(*run.second, SIGTERM);
            }
        }
        std::printf("[ figures  ] %s: the slowest of 15 windows ended %lld ms after its signal\n",
            row.point, slowest);
    }
}

// The socket as an attacker or a mistake uses it: the window stays the one window for every TEST,
// bounds what it keeps, answers each hand-over as the console would, names what lies in its way.
TEST(PracticeProcess, SocketBoundsItsInputAndAnswersEveryHandOver)
{
    enum Attack {
        Idle300,
        Endless,
        Idle,
        Malformed,
        Missing,
        FileThere,
        FolderThere,
        LongPath,
        Infinite
    };
    const struct {
        const char* name;
        Attack attack;
        int exitCode; // of the second start (of the first for FileThere, FolderThere)
        const char* said; // by it (by the window for Infinite)
    } rows[]
        = { { "300 idle connections, 256 file descriptors", Idle300, 0, "to the practice window" },
              { "a 4 GB string declared and sent", Endless, 0, "to the practice window" },
              { "a connection that sends nothing", Idle, 0, "to the practice window" },
              { "a malformed script", Malformed, 1, "refused the script: " },
              { "a missing script", Missing, 1, "cannot read the script" },
              { "a regular file at the socket path", FileThere, 9, "is a regular file; remove it" },
              { "a folder at the socket path", FolderThere, 9, "is a folder; remove it" },
              { "a runtime folder too long for a socket", LongPath, 0, "to the practice window" },
              { "startedAt infinite", Infinite, 0, "first note made" } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Host host;
        QString socket = host.socket();
        if (row.attack == LongPath) {
            const QString deep = host.temp.file(QString(90, u'r'));
            QDir().mkpath(deep);
            QFile::setPermissions(deep, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            host.environment.insert("XDG_RUNTIME_DIR", deep);
            socket = QString("/tmp/rudimix-%1/rudimix-tambrix.socket").arg(::geteuid());
        }
        if (row.attack == FileThere)
            TempFolder::write(socket, "kept");
        if (row.attack == FolderThere)
            QDir().mkpath(socket);
        if (row.attack == Malformed)
            TempFolder::write(host.temp.file("two.drum"), "RAW [new-rud]=ZZ\r\n[new-rud]\r\n");
        if (row.attack == Missing)
            QFile::remove(host.temp.file("two.drum"));
        QByteArray output;
        Process window = host.start("one.drum");
        if (row.attack == FileThere || row.attack == FolderThere) { // the first start already
            ASSERT_TRUE(finished(*window));
            EXPECT_EQ(window->exitCode(), row.exitCode);
            EXPECT_TRUE(window->readAllStandardError().contains(row.said));
            EXPECT_TRUE(QFileInfo::exists(socket));
            continue;
        }
        ASSERT_TRUE(waitFor(*window, output, "first note made")) << output.toStdString();
        std::vector<std::unique_ptr<QLocalSocket>> clients;
        if (row.attack == Idle300) { // more connections than the window has file descriptors
            const rlimit fewer { 256, 256 };
            ASSERT_EQ(::prlimit(window->processId(), RLIMIT_NOFILE, &fewer, nullptr), 0);
            for (int i = 0; i < 300; ++i) {
                clients.push_back(std::make_unique<QLocalSocket>());
                clients.back()->connectToServer(socket);
                clients.back()->waitForConnected(1000);
            }
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { // until the window has seen them all
                    return std::count_if(clients.begin(), clients.end(), [](const auto& c) {
                        return c->state() != QLocalSocket::ConnectedState;
                    }) >= 300 - standin::kMaxHandoverConnections;
                },
                20000));
        }
        if (row.attack == Endless || row.attack == Idle) { // the window closes it within ~2 s
            QLocalSocket client;
            client.connectToServer(socket);
            ASSERT_TRUE(client.waitForConnected(1000));
            if (row.attack == Endless)
                client.write(QByteArray::fromHex("fffffffe"));
            QElapsedTimer clock;
            for (clock.start();
                 client.state() == QLocalSocket::ConnectedState && clock.elapsed() < 10000;) {
                if (row.attack == Endless)
                    client.write(QByteArray(64 * 1024, 'x'));
                client.waitForBytesWritten(100);
                QTest::qWait(10);
            }
            EXPECT_NE(client.state(), QLocalSocket::ConnectedState) << "kept for 10 s";
        }
        if (row.attack == Infinite) {
            ASSERT_TRUE(standin::handOver(socket,
                { host.temp.file("two.drum"), true, std::numeric_limits<double>::infinity() },
                5000));
            EXPECT_TRUE(waitFor(*window, output, "two.drum (first note made"));
            QTest::qWait(300);
            output += window->readAllStandardOutput();
            const QByteArray line = output.mid(output.lastIndexOf("two.drum (first"));
            EXPECT_TRUE(line.contains("after the request") && !line.contains("-"))
                << line.toStdString();
        } else {
            Process second = host.start("two.drum");
            ASSERT_TRUE(finished(*second)) << "the second start opened a window";
            const QByteArray said
                = second->readAllStandardOutput() + second->readAllStandardError();
            EXPECT_EQ(second->exitCode(), row.exitCode) << said.toStdString();
            EXPECT_TRUE(said.contains(row.said)) << said.toStdString();
        }
        signalProcess(*window, SIGTERM);
        EXPECT_TRUE(finished(*window));
        output += window->readAllStandardOutput() + window->readAllStandardError();
        EXPECT_TRUE(row.attack != LongPath
            || output.contains(
                "more than a socket's 107; the window listens on " + QFile::encodeName(socket)))
            << output.toStdString();
    }
}

// A display that the probe reaches but Qt could not open: TAMBRIX.EXE plays in the console, as
// for a display that does not answer, and writes its log.
TEST(PracticeProcess, DisplayQtCannotOpenPlaysInTheConsole)
{
    QProcess x; // an X server of the test's own, with one screen
    int display = -1;
    for (int n = 150 + ::getpid() % 40;
         display < 0 && n < 199 && !QStandardPaths::findExecutable("Xvfb").isEmpty(); ++n)
        if (!QFileInfo::exists(QString("/tmp/.X11-unix/X%1").arg(n))
            && !QFileInfo::exists(QString("/tmp/.X%1-lock").arg(n))) {
            x.start("Xvfb", { QString(":%1").arg(n), "-nolisten", "tcp" });
            if (QTest::qWaitFor(
                    [&] { return QFileInfo::exists(QString("/tmp/.X11-unix/X%1").arg(n)); }, 5000))
                display = n;
        }
    const bool waylandPlugin = !QDir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms")
                                    .entryList({ "libqwayland*" })
                                    .isEmpty();
    for (const bool x11 : { true, false }) {
        SCOPED_TRACE(x11 ? "DISPLAY=:N.5 of a server with one screen"
                         : "WAYLAND_DISPLAY without Qt's plugin");
        if (x11 ? display < 0 : waylandPlugin) {
            std::printf("[ skipped  ] %s\n", x11 ? "no Xvfb" : "Qt's Wayland plugin is installed");
            continue;
        }
        Host host(TAMBRIX_EXE);
        for (const char* name : { "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY" })
            host.environment.remove(name);
        const int wayland
            = ::socket(AF_UNIX, SOCK_STREAM, 0); // a server's socket, as the probe sees it
        sockaddr_un address { AF_UNIX, {} };
        const QByteArray path = QFile::encodeName(host.temp.file("run/wayland-0"));
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        ASSERT_EQ(::bind(wayland, reinterpret_cast<sockaddr*>(&address), sizeof address)
                || ::listen(wayland, 4),
            0);
        host.environment.insert(
            x11 ? "DISPLAY" : "WAYLAND_DISPLAY", x11 ? QString(":%1.5").arg(display) : "wayland-0");
        Process run = host.start("one.drum");
        ASSERT_TRUE(finished(*run));
        ::close(wayland);
        const QByteArray said = run->readAllStandardError();
        EXPECT_TRUE(run->exitStatus() == QProcess::NormalExit && run->exitCode() == 0)
            << said.toStdString();
        EXPECT_TRUE(said.contains("does not answer; playing in the console")) << said.toStdString();
        EXPECT_TRUE(host.log().contains("Played to the end")) << host.log().toStdString();
    }
    x.terminate();
    x.waitForFinished(5000);
}

} // namespace
