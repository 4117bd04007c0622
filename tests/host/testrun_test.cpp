#include "fakes.h"
#include "modrudimix.h"
#include "qtservices.h"
#include "tempdir.h"
#include "testrun.h"

#include "defaultheader.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

const QString kDefaultHeader = QString::fromLatin1(kDefaultHeaderText);

const QString kDefaultLine
    = QStringLiteral("48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55");

QString reason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// A module with fake services and a temporary host folder holding the default header.
struct Harness {
    TempFolder temp;
    FakeServices fake;
    modRudimix module { fake.services };

    Harness()
    {
        module.gsHostFolder = temp.path();
        module.gsTestHeader = kDefaultHeader;
    }
    QString scriptPath() const { return temp.file(QStringLiteral("DudEderava.drum")); }
    QByteArray script() const { return TempFolder::read(scriptPath()); }
};

struct TestRunFixture : ::testing::Test, Harness { };

// ---- the script's bytes -------------------------------------------------------------------

struct ScriptCase {
    const char* name;
    QString header;
    QString rawText;
    QByteArray expected;
};

TEST_F(TestRunFixture, WritesTheScriptByteForByte)
{
    const QByteArray defaultHeaderBytes = kDefaultHeader.toLatin1();
    const std::vector<ScriptCase> cases = {
        // Twelve lines, each ending with CR LF: the ten header lines, the definition, the play
        // line.
        { "default header and line", kDefaultHeader, kDefaultLine,
            defaultHeaderBytes + "\r\nRAW [new-rud]=" + kDefaultLine.toLatin1()
                + "\r\n[new-rud]\r\n" },
        { "empty line box", kDefaultHeader, QString(),
            defaultHeaderBytes + "\r\nRAW [new-rud]=\r\n[new-rud]\r\n" },
        { "header with its own line end", QStringLiteral("SET TEMPO=90\r\n"), QStringLiteral("48X"),
            "SET TEMPO=90\r\n\r\nRAW [new-rud]=48X\r\n[new-rud]\r\n" },
        { "empty header", QString(), QStringLiteral("45"),
            "\r\nRAW [new-rud]=45\r\n[new-rud]\r\n" },
        { "line shown unchanged", QStringLiteral("' x"), QStringLiteral(" 48x, ,zz>Q "),
            "' x\r\nRAW [new-rud]= 48x, ,zz>Q \r\n[new-rud]\r\n" },
        { "Windows-1252, ? outside it", QString::fromUtf8("' caf\u00e9 \u20ac \u4e2d \U0001F941"),
            QStringLiteral("45"), "' caf\xe9 \x80 ? ?\r\nRAW [new-rud]=45\r\n[new-rud]\r\n" },
    };
    ASSERT_EQ(cases[0].expected.count("\r\n"), 12);
    ASSERT_EQ(cases[0].expected.count('\n'), 12);
    for (const ScriptCase& c : cases) {
        SCOPED_TRACE(c.name);
        module.gsTestHeader = c.header;
        gsbTestRun(module, c.rawText);
        EXPECT_EQ(script(), c.expected);
    }
    EXPECT_TRUE(fake.dialogs.boxes.empty());
    EXPECT_EQ(fake.launcher.starts.size(), cases.size());
}

TEST_F(TestRunFixture, TwoRunsLeaveOnlyTheSecond)
{
    gsbTestRun(module, QStringLiteral("48X,45"));
    module.gsTestHeader = QStringLiteral("SET TEMPO=80");
    gsbTestRun(module, QStringLiteral("65>B+D"));
    EXPECT_EQ(script(), "SET TEMPO=80\r\nRAW [new-rud]=65>B+D\r\n[new-rud]\r\n");
    EXPECT_EQ(fake.launcher.starts.size(), 2u);
}

// A host reading the script while test runs follow each other finds the old script or the new
// one, whole; a symbolic link of the script's name is replaced and its target left alone.
TEST_F(TestRunFixture, ScriptIsReplacedWholeAndALinkIsNotWrittenThrough)
{
    TempFolder::write(temp.file("target"), "keep");
    ASSERT_TRUE(QFile::link(temp.file("target"), scriptPath()));
    gsbTestRun(module, QStringLiteral("48X"));
    EXPECT_EQ(TempFolder::read(temp.file("target")), "keep");
    EXPECT_FALSE(QFileInfo(scriptPath()).isSymLink());
    const QByteArray first = script();
    gsbTestRun(module, QStringLiteral("45"));
    const QByteArray second = script();

    std::atomic<bool> done { false };
    int reads = 0, bad = 0;
    std::thread reader([&] {
        for (; !done; ++reads) {
            const QByteArray seen = TempFolder::read(scriptPath());
            bad += seen != first && seen != second;
        }
    });
    for (int k = 0; k < 300; ++k)
        gsbTestRun(module, k % 2 ? QStringLiteral("45") : QStringLiteral("48X"));
    done = true;
    reader.join();
    EXPECT_EQ(bad, 0) << "of " << reads << " reads";
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no leftovers
    EXPECT_TRUE(fake.dialogs.boxes.empty());
}

// ---- the host's start -----------------------------------------------------------------------

TEST_F(TestRunFixture, StartsTheHostOnTheScriptInTheHostFolder)
{
    for (const QString& folder : { temp.path(), temp.path() + u'/' }) {
        SCOPED_TRACE(folder.toStdString());
        fake.launcher.starts.clear();
        module.gsHostFolder = folder;
        gsbTestRun(module, kDefaultLine);
        ASSERT_EQ(fake.launcher.starts.size(), 1u);
        const FakeLauncher::Start& start = fake.launcher.starts[0];
        EXPECT_EQ(start.program, temp.path() + QStringLiteral("/TAMBRIX.EXE"));
        EXPECT_EQ(start.arguments, QStringList({ QStringLiteral("-notimesig"), scriptPath() }));
        EXPECT_EQ(start.workingFolder, folder);
        EXPECT_EQ(start.commandLine,
            folder + QStringLiteral("\\TAMBRIX.EXE -notimesig \"") + scriptPath() + u'"');
    }
    EXPECT_TRUE(fake.dialogs.boxes.empty());
}

TEST_F(TestRunFixture, HostThatCannotStartIsReportedWithItsPathAndReason)
{
    fake.launcher.pid = 0;
    fake.launcher.failReason = QStringLiteral("Permission denied");
    gsbTestRun(module, QStringLiteral("48X"));
    ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
    const ScriptedDialogs::Box& box = fake.dialogs.boxes[0];
    EXPECT_EQ(box.icon, MsgIcon::Error);
    EXPECT_EQ(box.title, modRudimix::programTitle());
    EXPECT_TRUE(box.text.contains(temp.path() + QStringLiteral("/TAMBRIX.EXE")));
    EXPECT_TRUE(box.text.contains(QStringLiteral("Permission denied")));
    // The script itself was written.
    EXPECT_TRUE(script().endsWith("RAW [new-rud]=48X\r\n[new-rud]\r\n"));

    // A launcher that gives no reason still gives the box a reason.
    fake.launcher.failReason.clear();
    gsbTestRun(module, QStringLiteral("48X"));
    ASSERT_EQ(fake.dialogs.boxes.size(), 2u);
    EXPECT_TRUE(fake.dialogs.boxes[1].text.contains(QStringLiteral("unknown error")));
}

// ---- a script that cannot be written ------------------------------------------------------

struct WriteFailure {
    const char* name;
    std::function<void(Harness&)> arrange;
    int expectedError;
};

TEST(TestRun, ScriptThatCannotBeWrittenIsReportedAndTheHostNotStarted)
{
    const std::vector<WriteFailure> cases = {
        { "host folder missing", [](Harness& f) { f.module.gsHostFolder = f.temp.file("gone"); },
            ENOENT },
        { "script path is a folder",
            [](Harness& f) { ASSERT_TRUE(QDir(f.temp.path()).mkpath("DudEderava.drum/inside")); },
            EISDIR },
        { "old script read-only",
            [](Harness& f) {
                TempFolder::write(f.scriptPath(), "old\r\n");
                QFile::setPermissions(f.scriptPath(), QFile::ReadOwner | QFile::ReadGroup);
            },
            EACCES },
        { "host folder read-only, old script there",
            [](Harness& f) {
                TempFolder::write(f.scriptPath(), "old\r\n");
                QFile::setPermissions(f.temp.path(), QFile::ReadOwner | QFile::ExeOwner);
            },
            EACCES },
        { "host folder read-only, no script yet",
            [](Harness& f) {
                QFile::setPermissions(f.temp.path(), QFile::ReadOwner | QFile::ExeOwner);
            },
            EACCES },
    };
    for (const WriteFailure& c : cases) {
        SCOPED_TRACE(c.name);
        Harness f;
        c.arrange(f);
        const QString path = gfnTestScriptPath(f.module);
        const QByteArray before = TempFolder::read(path);

        gsbTestRun(f.module, kDefaultLine);

        ASSERT_EQ(f.fake.dialogs.boxes.size(), 1u);
        const ScriptedDialogs::Box& box = f.fake.dialogs.boxes[0];
        EXPECT_EQ(box.icon, MsgIcon::Error);
        EXPECT_EQ(box.title, modRudimix::programTitle());
        EXPECT_TRUE(box.text.contains(path)) << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(reason(c.expectedError))) << box.text.toStdString();
        EXPECT_TRUE(f.fake.launcher.starts.empty());
        EXPECT_EQ(TempFolder::read(path), before); // an old script is left as it was
        QFile::setPermissions(
            f.temp.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

// A full disk, as the system reports it: writes beyond the process's file size limit fail with
// EFBIG after a short write, also for the superuser.
TEST_F(TestRunFixture, ScriptCutShortByTheSystemIsReportedAndTheHostNotStarted)
{
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100; // the default header alone is longer
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    gsbTestRun(module, kDefaultLine);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(fake.dialogs.boxes[0].text.contains(scriptPath()));
    EXPECT_TRUE(fake.dialogs.boxes[0].text.contains(reason(EFBIG)));
    EXPECT_TRUE(fake.launcher.starts.empty());
    EXPECT_FALSE(QFile::exists(scriptPath())); // no part of a script, no temporary file
    EXPECT_TRUE(QDir(temp.path()).isEmpty(QDir::Files | QDir::Hidden));
}

TEST(AppendLine, ReportsAFullDevice)
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    QString error;
    gsbAppendLine(QStringLiteral("RAW [new-rud]=48X"), QStringLiteral("/dev/full"), &error);
    EXPECT_EQ(error, reason(ENOSPC));
}

TEST(DeleteFile, MissingFileIsNoFailureAndADanglingLinkGoes)
{
    TempFolder temp;
    QString error;
    gsbDeleteFile(temp.file(QStringLiteral("none")), &error);
    EXPECT_TRUE(error.isEmpty());
    const QString link = temp.file(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(temp.file(QStringLiteral("nowhere")), link));
    gsbDeleteFile(link, &error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

// ---- the real launcher ---------------------------------------------------------------------

// The real process launcher with fake boxes, in a host folder whose name holds blanks, quotes and
// shell characters, none of which may do harm.
struct RealLaunch : ::testing::Test {
    TempFolder temp;
    ScriptedDialogs dialogs;
    FakeClipboard clipboard;
    SystemProcessLauncher launcher;
    FakeProgramEnd programEnd;
    FakeRegistry registry;
    Services services { dialogs, clipboard, launcher, programEnd, registry };
    modRudimix module { services };
    QString folder = temp.file(QStringLiteral("host \"folder\" it's $HOME `true` $(false);x"));

    RealLaunch()
    {
        EXPECT_TRUE(QDir().mkpath(folder));
        module.gsHostFolder = folder;
        module.gsTestHeader = kDefaultHeader;
    }
    QString host() const { return folder + QStringLiteral("/TAMBRIX.EXE"); }
    QString script() const { return folder + QStringLiteral("/DudEderava.drum"); }
};

// A host that writes how it was started (its arguments, then its working folder) into
// record.txt in its working folder.
const QByteArray kRecordingHost = "#!/bin/sh\n"
                                  "{ printf '%s\\n' \"$0\" \"$@\"; pwd -P; } > record.tmp\n"
                                  "mv record.tmp record.txt\n";

QByteArray waitForFile(const QString& path)
{
    for (int i = 0; i < 1000 && !QFileInfo::exists(path); ++i)
        QThread::msleep(10);
    return TempFolder::read(path);
}

TEST_F(RealLaunch, StartsTheHostAsAProgramWithItsArgumentsInTheHostFolder)
{
    TempFolder::write(host(), kRecordingHost);
    ASSERT_TRUE(
        QFile::setPermissions(host(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    gsbTestRun(module, kDefaultLine);

    EXPECT_TRUE(dialogs.boxes.empty());
    const QByteArray record = waitForFile(folder + QStringLiteral("/record.txt"));
    const QString expected = host() + u'\n' + QStringLiteral("-notimesig\n") + script() + u'\n'
        + QFileInfo(folder).canonicalFilePath() + u'\n';
    EXPECT_EQ(QString::fromLocal8Bit(record), expected);
    EXPECT_TRUE(TempFolder::read(script()).startsWith("' Instrument set to GM Drums\r\n"));
}

TEST_F(RealLaunch, HostMissingOrNotExecutableIsReportedWithItsPath)
{
    struct Case {
        const char* name;
        bool create;
        int expectedError;
    };
    for (const Case& c :
        { Case { "missing", false, ENOENT }, Case { "not executable", true, EACCES } }) {
        SCOPED_TRACE(c.name);
        dialogs.boxes.clear();
        if (c.create) {
            TempFolder::write(host(), kRecordingHost);
            ASSERT_TRUE(QFile::setPermissions(host(), QFile::ReadOwner | QFile::WriteOwner));
        }
        gsbTestRun(module, QStringLiteral("48X"));
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        const ScriptedDialogs::Box& box = dialogs.boxes[0];
        EXPECT_EQ(box.icon, MsgIcon::Error);
        EXPECT_TRUE(box.text.contains(host())) << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(reason(c.expectedError))) << box.text.toStdString();
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/record.txt")));
    }
}

} // namespace
