// The practice window as a process (the window's own start on the offscreen platform, sound
// through FluidSynth's "file" driver): the stop signals at every point of its life, what comes
// through its socket, and TAMBRIX.EXE under displays that answer the probe but not Qt.
#include "handover.h"
#include "tempdir.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray kScript = "SET TEMPO=300\r\nRAW [new-rud]=48X,2,2,2\r\n[new-rud]\r\n";

QString soundFont()
{
    const QString small = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    return QFileInfo::exists(small) ? small : QString();
}

// One practice window (or TAMBRIX.EXE) in a folder of its own: its runtime folder, settings,
// host folder (the program linked into it, so that TAMBRIX.LOG goes there) and scripts.
struct Host {
    TempFolder temp;
    QString program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    explicit Host(const QString& executable = QStringLiteral(PRACTICE_DRIVER))
    {
        for (const char* folder : { "run", "config/Rudimix", "host" })
            EXPECT_TRUE(QDir().mkpath(temp.file(QLatin1String(folder))));
        ::chmod(QFile::encodeName(temp.file("run")).constData(), 0700);
        program = temp.file("host/TAMBRIX.EXE");
        EXPECT_TRUE(QFile::link(executable, program));
        environment.insert("XDG_RUNTIME_DIR", temp.file("run"));
        environment.insert("XDG_CONFIG_HOME", temp.file("config"));
        environment.insert("HOME", temp.path());
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        TempFolder::write(temp.file("one.drum"), kScript);
        TempFolder::write(temp.file("two.drum"), kScript);
    }
    QString socket() const { return temp.file("run/rudimix-tambrix.socket"); }
    QByteArray log() const { return TempFolder::read(temp.file("host/TAMBRIX.LOG")); }

    std::unique_ptr<QProcess> start(const QString& script, const QStringList& extra = {}) const
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        QStringList arguments = extra;
        if (!soundFont().isEmpty())
            arguments << "--soundfont" << soundFont();
        arguments << "--audio-driver"
                  << "file"
                  << "-notimesig" << temp.file(script);
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted(10000));
        return process;
    }
};

// Waits (at most ~10 s, a bound that only catches a hang) until the output holds the text.
bool waitFor(QProcess& process, QByteArray& output, const QByteArray& text)
{
    QElapsedTimer clock;
    clock.start();
    while (!output.contains(text) && clock.elapsed() < 10000) {
        process.waitForReadyRead(50);
        output += process.readAllStandardOutput();
        if (process.state() == QProcess::NotRunning && !output.contains(text))
            return false;
    }
    return output.contains(text);
}

// Whether the process has ended, or ends within ~10 s (a bound that only catches a hang).
bool finished(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(10000);
}

// Whether any process holds the performance lock in that runtime folder.
bool lockHeld(const QString& runtime)
{
    const int fd = ::open(QFile::encodeName(runtime + "/rudimix-tambrix.lock").constData(), O_RDWR);
    if (fd < 0)
        return false;
    struct flock lock { };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool held = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

// SIGTERM, SIGINT and SIGHUP end the window at every point of its life, each of them five times:
// at once (it is still loading), while it plays, loops, has stopped, takes a hand-over and shows
// a modal dialog. Each run ends with exit code 0 and "Stopped by SIG...", its socket gone and its
// lock free. How long each took after its signal is printed (the window keeps to 1 s).
TEST(PracticeProcess, StopSignalsEndTheWindowAtEveryPoint)
{
    enum class Point { Loading, Playing, Looping, Stopped, HandingOver, Dialog };
    const struct {
        const char* name;
        Point point;
    } rows[] = { { "loading", Point::Loading }, { "playing", Point::Playing },
        { "looping", Point::Looping }, { "stopped", Point::Stopped },
        { "during a hand-over", Point::HandingOver }, { "modal dialog open", Point::Dialog } };
    const int signals_[] = { SIGTERM, SIGINT, SIGHUP };
    for (const auto& row : rows) {
        double slowest = 0;
        for (int round = 0; round < 5; ++round) {
            // The three signals at once, each to a window of its own.
            struct Run {
                std::unique_ptr<Host> host;
                std::unique_ptr<QProcess> window, second;
                QByteArray output;
                QElapsedTimer sent;
                qint64 tookMs = -1; // from the signal to the process's end
            };
            std::vector<Run> runs(3);
            for (Run& run : runs) {
                run.host = std::make_unique<Host>();
                if (row.point == Point::Looping)
                    TempFolder::write(run.host->temp.file("config/Rudimix/tambrix-practice.ini"),
                        "[General]\nloop=true\n");
                if (row.point == Point::Dialog)
                    run.host->environment.insert("PRACTICE_DRIVER_SAVE_AS", "1");
                run.window = run.host->start("one.drum");
            }
            for (std::size_t i = 0; i < runs.size(); ++i) {
                Run& run = runs[i];
                const char* awaited = row.point == Point::Loading ? "[driver] application"
                    : row.point == Point::Dialog                  ? "[driver] dialog"
                                                                  : "first note made";
                ASSERT_TRUE(waitFor(*run.window, run.output, awaited))
                    << row.name << run.output.toStdString();
                if (row.point == Point::Looping) // past the end of the pattern and its tail
                    QTest::qWait(1500);
                if (row.point == Point::Stopped) {
                    ASSERT_TRUE(waitFor(*run.window, run.output, "[driver] stopped"));
                }
                if (row.point == Point::HandingOver) {
                    run.second = run.host->start("two.drum");
                    ASSERT_TRUE(waitFor(*run.window, run.output, "two.drum"));
                }
                QObject::connect(run.window.get(), &QProcess::finished, [&run] {
                    if (run.sent.isValid())
                        run.tookMs = run.sent.elapsed();
                });
                run.sent.start();
                ::kill(run.window->processId(), signals_[i]);
            }
            for (std::size_t i = 0; i < runs.size(); ++i) {
                Run& run = runs[i];
                const std::string name = std::string("SIG") + ::sigabbrev_np(signals_[i]);
                SCOPED_TRACE(
                    std::string(row.name) + ", " + name + ", round " + std::to_string(round));
                ASSERT_TRUE(finished(*run.window));
                slowest = std::max(
                    slowest, (run.tookMs < 0 ? run.sent.elapsed() : run.tookMs) / 1000.0);
                run.output += run.window->readAllStandardOutput();
                EXPECT_EQ(run.window->exitStatus(), QProcess::NormalExit);
                EXPECT_EQ(run.window->exitCode(), 0);
                const std::string line = "Stopped by " + name + ".\n";
                EXPECT_NE(run.output.toStdString().find(line), std::string::npos)
                    << run.output.toStdString();
                EXPECT_NE(run.host->log().toStdString().find(line), std::string::npos);
                EXPECT_FALSE(QFileInfo::exists(run.host->socket()));
                EXPECT_FALSE(lockHeld(run.host->temp.file("run")));
                if (run.second) { // it was answered, or plays on its own: ended here
                    if (run.second->state() != QProcess::NotRunning
                        && !run.second->waitForFinished(3000)) {
                        ::kill(run.second->processId(), SIGTERM);
                        EXPECT_TRUE(finished(*run.second));
                    }
                }
            }
        }
        std::printf("[ figures  ] %s: the slowest of 15 windows ended %.3f s after its signal\n",
            row.name, slowest);
    }
}

// A connection to the window's socket that writes raw bytes; true while the window keeps it.
struct RawClient {
    QLocalSocket socket;
    bool open() const { return socket.state() == QLocalSocket::ConnectedState; }
};

// The socket as an attacker or a mistake would use it: the window stays one window for every
// TEST, bounds what it keeps, answers each hand-over and names what lies in its way.
TEST(PracticeProcess, SocketBoundsItsInputAndAnswersEveryHandOver)
{
    enum class Attack {
        IdleConnections,
        Endless,
        Idle,
        Malformed,
        Missing,
        FileAtSocket,
        FolderAtSocket,
        LongRuntimeFolder,
        InfiniteStart
    };
    const struct {
        const char* name;
        Attack attack;
        int secondExit; // of the second start (-1: no second start)
        const char* said; // by the second start, or (no second start) by the window
    } rows[] = {
        { "300 idle connections, 256 file descriptors", Attack::IdleConnections, 0,
            "to the practice window" },
        { "a 4 GB string declared and sent", Attack::Endless, 0, "to the practice window" },
        { "a connection that sends nothing", Attack::Idle, 0, "to the practice window" },
        { "a malformed script", Attack::Malformed, 1, "refused" },
        { "a missing script", Attack::Missing, 1, "cannot read the script" },
        { "a regular file at the socket path", Attack::FileAtSocket, 9,
            "is a regular file; remove it" },
        { "a folder at the socket path", Attack::FolderAtSocket, 9, "is a folder; remove it" },
        { "a runtime folder too long for a socket", Attack::LongRuntimeFolder, 0,
            "to the practice window" },
        { "startedAt infinite", Attack::InfiniteStart, -1, "after the request" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Host host;
        QString socket = host.socket();
        if (row.attack == Attack::LongRuntimeFolder) {
            const QString deep = host.temp.file(QString(90, u'r'));
            ASSERT_TRUE(QDir().mkpath(deep));
            ::chmod(QFile::encodeName(deep).constData(), 0700);
            host.environment.insert("XDG_RUNTIME_DIR", deep);
            socket = QStringLiteral("/tmp/rudimix-%1/rudimix-tambrix.socket").arg(::geteuid());
        }
        if (row.attack == Attack::FileAtSocket)
            TempFolder::write(socket, "kept");
        if (row.attack == Attack::FolderAtSocket) {
            ASSERT_TRUE(QDir().mkpath(socket));
        }
        if (row.attack == Attack::Malformed)
            TempFolder::write(host.temp.file("two.drum"), "RAW [new-rud]=ZZ\r\n[new-rud]\r\n");
        if (row.attack == Attack::Missing)
            QFile::remove(host.temp.file("two.drum"));

        QByteArray output;
        auto window = host.start("one.drum");
        if (row.attack == Attack::FileAtSocket || row.attack == Attack::FolderAtSocket) {
            // The first start already: it names what lies there, and leaves it.
            ASSERT_TRUE(finished(*window));
            EXPECT_EQ(window->exitCode(), row.secondExit);
            EXPECT_TRUE(window->readAllStandardError().contains(row.said));
            EXPECT_TRUE(QFileInfo(socket).exists());
            continue;
        }
        ASSERT_TRUE(waitFor(*window, output, "first note made")) << output.toStdString();

        std::vector<std::unique_ptr<RawClient>> clients;
        rlimit files {};
        if (row.attack == Attack::IdleConnections) {
            // More connections than the window has file descriptors.
            ::getrlimit(RLIMIT_NOFILE, &files);
            rlimit more { std::min<rlim_t>(4096, files.rlim_max), files.rlim_max };
            ::setrlimit(RLIMIT_NOFILE, &more);
            const rlimit fewer { 256, 256 };
            ASSERT_EQ(::prlimit(window->processId(), RLIMIT_NOFILE, &fewer, nullptr), 0);
            for (int i = 0; i < 300; ++i) {
                clients.push_back(std::make_unique<RawClient>());
                clients.back()->socket.connectToServer(socket);
                clients.back()->socket.waitForConnected(1000);
            }
            QTest::qWait(500);
        }
        if (row.attack == Attack::Endless || row.attack == Attack::Idle) {
            clients.push_back(std::make_unique<RawClient>());
            RawClient& client = *clients.back();
            client.socket.connectToServer(socket);
            ASSERT_TRUE(client.socket.waitForConnected(1000));
            QElapsedTimer clock;
            clock.start();
            if (row.attack == Attack::Endless)
                client.socket.write(QByteArray::fromHex("fffffffe")); // 4 GB of string to come
            while (client.open() && clock.elapsed() < 10000) {
                if (row.attack == Attack::Endless)
                    client.socket.write(QByteArray(64 * 1024, 'x'));
                client.socket.waitForBytesWritten(100);
                QTest::qWait(10);
            }
            EXPECT_FALSE(client.open()) << "the window kept the connection for 10 s";
        }
        if (row.attack == Attack::InfiniteStart) {
            standin::HandoverReply reply;
            ASSERT_TRUE(standin::handOver(socket,
                { host.temp.file("two.drum"), true, std::numeric_limits<double>::infinity() }, 5000,
                &reply));
            EXPECT_TRUE(waitFor(*window, output, "two.drum (first note made"));
            QTest::qWait(300);
            output += window->readAllStandardOutput();
            const QByteArray line = output.mid(output.lastIndexOf("two.drum (first note made"));
            EXPECT_TRUE(line.contains(row.said) && !line.contains("-")) << line.toStdString();
        } else {
            auto second = host.start("two.drum");
            ASSERT_TRUE(finished(*second)) << "the second start opened a window";
            const QByteArray said
                = second->readAllStandardOutput() + second->readAllStandardError();
            EXPECT_EQ(second->exitCode(), row.secondExit) << said.toStdString();
            EXPECT_TRUE(said.contains(row.said)) << said.toStdString();
        }
        clients.clear();
        if (files.rlim_cur)
            ::setrlimit(RLIMIT_NOFILE, &files);
        ::kill(window->processId(), SIGTERM);
        EXPECT_TRUE(finished(*window));
        output += window->readAllStandardOutput() + window->readAllStandardError();
        if (row.attack == Attack::LongRuntimeFolder) {
            EXPECT_TRUE(
                output.contains("bytes long, more than a socket's 107; the window listens on "
                    + QFile::encodeName(socket)))
                << output.toStdString();
        }
    }
}

// An X server of the test's own, on a display number that no other server uses; ends with it.
struct XServer {
    QProcess process;
    int number = -1;
    XServer()
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty())
            return;
        for (int n = 150 + ::getpid() % 40; n < 199; ++n) {
            const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
            if (QFileInfo::exists(socket)
                || QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
                continue;
            process.start("Xvfb", { QStringLiteral(":%1").arg(n), "-nolisten", "tcp" });
            if (QTest::qWaitFor([&] { return QFileInfo::exists(socket); }, 5000)) {
                number = n;
                return;
            }
            process.kill();
            process.waitForFinished();
        }
    }
    ~XServer()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
};

// A display that the probe reaches but Qt could not open: TAMBRIX.EXE plays in the console, as
// for a display that does not answer, and writes its log.
TEST(PracticeProcess, DisplayQtCannotOpenPlaysInTheConsole)
{
    XServer x;
    const struct {
        const char* name;
        bool x11; // DISPLAY names a screen that the X server does not have
    } rows[] = { { "DISPLAY=:N.5 of a server with one screen", true },
        { "WAYLAND_DISPLAY without Qt's Wayland plugin", false } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Host host(QStringLiteral(TAMBRIX_EXE));
        host.environment.remove("QT_QPA_PLATFORM");
        host.environment.remove("WAYLAND_DISPLAY");
        host.environment.remove("DISPLAY");
        // A Wayland server's socket, as far as the probe can tell.
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (row.x11) {
            if (x.number < 0) {
                std::printf("[ skipped  ] %s: no Xvfb\n", row.name);
                continue;
            }
            host.environment.insert("DISPLAY", QStringLiteral(":%1.5").arg(x.number));
        } else {
            if (!QDir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms")
                     .entryList({ "libqwayland*" })
                     .isEmpty()) {
                std::printf("[ skipped  ] %s: the plugin is installed\n", row.name);
                continue;
            }
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            const QByteArray path = QFile::encodeName(host.temp.file("run/wayland-0"));
            std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
            ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            ASSERT_EQ(::listen(listener, 4), 0);
            host.environment.insert("WAYLAND_DISPLAY", "wayland-0");
        }
        auto run = host.start("one.drum");
        ASSERT_TRUE(finished(*run));
        ::close(listener);
        const QByteArray said = run->readAllStandardError();
        EXPECT_EQ(run->exitStatus(), QProcess::NormalExit) << said.toStdString();
        EXPECT_EQ(run->exitCode(), 0) << said.toStdString();
        EXPECT_TRUE(said.contains("does not answer; playing in the console")) << said.toStdString();
        EXPECT_TRUE(host.log().contains("Played to the end")) << host.log().toStdString();
    }
}

} // namespace
