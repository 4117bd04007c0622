#include "fakes.h"
#include "hostcommand.h"
#include "hostlog.h"
#include "hostpaths.h"
#include "inifile.h"
#include "modrudimix.h"
#include "registry.h"
#include "tempdir.h"
#include "testrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace {

std::filesystem::path toPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

std::string readString(const std::filesystem::path& file, const char* section, const char* key)
{
    return ini::readString(file, section, key, "<missing>");
}

const QString kDefaultHeader = QStringLiteral(
    "' Instrument set to GM Drums\r\nSet TRACKINSTRUMENT(1) = 0\r\n"
    "' Snare,Bass,Closed HH,Open HH,HiTom,LoTom\r\nSET TRACKVOICES(1)=40,35,42,46,50,45\r\n"
    "SET PLAYBEAT=NO;SET PLAYBAR=NO\r\nSET INTRO=;SET TRANSITION=;SET TIMESIG=4/4\r\n"
    "SET TEMPO=100;SET REPEATS=3;SET TEMPOCHANGE=10\r\n"
    "'Make sure you change this line if you're using odd note types\r\n"
    "SET ATICKS=120;SET BTICKS=120;SET CTICKS=120\r\nSET DTICKS=120;SET ETICKS=120;SET FTICKS=120");
const QString kDefaultLine
    = QStringLiteral("48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55");

// ---- initialising, in the process ---------------------------------------------------------

struct Initialise : ::testing::Test {
    TempFolder temp;
    QString folder = temp.file(QStringLiteral("host 'x' $y"));
    std::filesystem::path registry = toPath(temp.file(QStringLiteral("cfg/winreg/HKCU.ini")));
    std::ostringstream out;
    std::ostringstream err;

    Initialise() { EXPECT_TRUE(QDir().mkpath(folder)); }
    QString settings() const { return folder + QStringLiteral("/TAMBRIX.INI"); }
    int run() { return standin::initialise(folder, registry, out, err); }
};

TEST_F(Initialise, CreatesTheSettingsFileAndTheRegistryValueThatRudimixFinds)
{
    ASSERT_EQ(run(), standin::Success) << err.str();
    EXPECT_TRUE(ini::hasSection(TempFolder::read(settings()).toStdString(), "program"));
    EXPECT_EQ(
        readString(registry, "software\\Quillmoor Tambrix", "ExeIniLocn"), folder.toStdString());
    EXPECT_NE(out.str().find("Created the settings file"), std::string::npos);
    EXPECT_TRUE(err.str().empty());

    // Rudimix's start-up, on the same registry, finds the host and opens the editor.
    FakeServices fake;
    IniRegistry iniRegistry(registry);
    Services services { fake.dialogs, fake.clipboard, fake.launcher, fake.programEnd, iniRegistry };
    modRudimix module(services);
    module.ownFolder = temp.path();
    bool opened = false;
    module.showEditor = [&] { opened = true; };
    EXPECT_TRUE(module.Main());
    EXPECT_TRUE(opened);
    EXPECT_EQ(module.gsHostFolder, folder);
    EXPECT_EQ(module.giMaxNotes, 32);
    EXPECT_TRUE(fake.dialogs.boxes.empty());
}

TEST_F(Initialise, LeavesAnExistingSettingsFileAsItIs)
{
    const QByteArray existing = "[program]\r\nMaxRudimixNotes=48\r\n[other]\r\nx=1\r\n";
    TempFolder::write(settings(), existing);
    ASSERT_EQ(run(), standin::Success) << err.str();
    EXPECT_EQ(TempFolder::read(settings()), existing);
    EXPECT_NE(out.str().find("left as it is"), std::string::npos);
    EXPECT_EQ(
        readString(registry, "software\\Quillmoor Tambrix", "ExeIniLocn"), folder.toStdString());
}

TEST_F(Initialise, ReportsWhatCannotBeWritten)
{
    // The registry's folder cannot be made: a file stands where it would go.
    TempFolder::write(temp.file(QStringLiteral("cfg")), "a file");
    EXPECT_EQ(run(), standin::InitialisationFailed);
    EXPECT_NE(err.str().find("cannot write the registry value ExeIniLocn"), std::string::npos)
        << err.str();

    // The host's folder is missing, or its TAMBRIX.INI is a folder or a FIFO, which Rudimix
    // counts as missing: no settings file, and the registry is left alone.
    registry = toPath(temp.file(QStringLiteral("reg.ini")));
    for (const char* kind : { "gone", "folder", "fifo" }) {
        err.str("");
        out.str("");
        folder = temp.file(QLatin1String(kind));
        if (kind != std::string("gone")) {
            ASSERT_TRUE(QDir().mkpath(kind == std::string("folder") ? settings() : folder));
        }
        if (kind == std::string("fifo")) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(settings()).constData(), 0600), 0);
        }
        EXPECT_EQ(run(), standin::InitialisationFailed);
        EXPECT_NE(err.str().find(kind == std::string("gone")
                          ? "cannot create the settings file " + settings().toStdString()
                          : settings().toStdString()
                              + " cannot be used (not a regular file), and "
                                "Rudimix counts it as missing"),
            std::string::npos)
            << err.str();
        EXPECT_TRUE(out.str().empty()) << out.str();
        EXPECT_FALSE(std::filesystem::exists(registry));
    }
}

TEST_F(Initialise, FolderOutsideWindows1252GetsNoRegistryValue)
{
    folder = temp.file(QString::fromUtf8("host \u4e2d"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(run(), standin::InitialisationFailed);
    EXPECT_TRUE(QFile::exists(settings()));
    EXPECT_NE(
        err.str().find("cannot be written in Windows-1252, so the registry value ExeIniLocn is "
                       "not set; Rudimix cannot find this host folder"),
        std::string::npos)
        << err.str();
    EXPECT_EQ(out.str().find("initialised"), std::string::npos) << out.str();
    EXPECT_FALSE(std::filesystem::exists(registry));

    // An older value would send Rudimix to another folder: it goes, all else stays. With Rudimix
    // in this same folder, the host is found there all the same.
    const QString file = QString::fromStdString(registry.string());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    const QByteArray kept = "[other]\r\nExeIniLocn=/y\r\n";
    TempFolder::write(
        file, "[Software\\Quillmoor Tambrix\\]\r\n exeinilocn = /old\r\nA=1\r\n" + kept);
    TempFolder::write(folder + QStringLiteral("/rudimix"), "#!/bin/sh\n");
    QFile::setPermissions(folder + QStringLiteral("/rudimix"), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(run(), standin::Success);
    EXPECT_EQ(TempFolder::read(file), "[Software\\Quillmoor Tambrix\\]\r\nA=1\r\n" + kept);
    EXPECT_NE(out.str().find("(the older one has been removed); Rudimix in this same folder finds "
                             "it all the same.\nTAMBRIX.EXE is initialised."),
        std::string::npos)
        << out.str();
}

// ---- the log and the script: regular files only, never followed or waited for -------------

TEST(StandInFiles, LogIsARegularFileAndALongOneIsKeptAsLog1)
{
    const QByteArray big(2000000, 'x');
    struct Case {
        const char* kind;
        bool written;
        QByteArray log, log1;
    };
    for (const Case& c : { Case { "link", false, {}, {} }, Case { "fifo", false, {}, {} },
             Case { "folder", false, {}, {} }, Case { "long", true, "new", big },
             Case { "short", true, "oldnew", {} }, Case { "log.1 a folder", false, big, {} } }) {
        SCOPED_TRACE(c.kind);
        TempFolder temp;
        const QString log = temp.file("TAMBRIX.LOG");
        TempFolder::write(temp.file("target"), big);
        const std::string kind = c.kind;
        if (kind == "link")
            ASSERT_TRUE(QFile::link(temp.file("target"), log));
        else if (kind == "fifo")
            ASSERT_EQ(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
        else if (kind == "folder")
            ASSERT_TRUE(QDir().mkpath(log));
        else
            TempFolder::write(log, kind == "short" ? "old" : big);
        if (kind == "log.1 a folder") {
            ASSERT_TRUE(QDir().mkpath(log + ".1"));
        }
        std::string problem;
        EXPECT_EQ(standin::appendLog(temp.path(), "new", &problem), c.written);
        EXPECT_EQ(problem.empty(), kind != "log.1 a folder") << problem;
        if (kind == "log.1 a folder") {
            EXPECT_EQ(TempFolder::read(log), big);
        }
        EXPECT_EQ(TempFolder::read(temp.file("target")).size(), big.size());
        if (c.written) {
            EXPECT_EQ(TempFolder::read(log), c.log);
            EXPECT_EQ(TempFolder::read(log + ".1"), c.log1);
        }
    }
    // One run appends at most 64 KiB: its beginning and its end.
    TempFolder temp;
    ASSERT_TRUE(standin::appendLog(temp.path(), "begin" + std::string(big.size(), 'x') + "end"));
    const QByteArray log = TempFolder::read(temp.file("TAMBRIX.LOG"));
    EXPECT_TRUE(log.size() <= 64 * 1024 && log.startsWith("begin") && log.endsWith("end")
        && log.contains(" bytes left out of the log ..."));
}

TEST(StandInFiles, FolderOrFifoAsTheScriptFailsAtOnceWithTheCause)
{
    TempFolder temp;
    ASSERT_TRUE(QDir().mkpath(temp.file("folder.drum")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(temp.file("fifo.drum")).constData(), 0600), 0);
    for (const auto& [name, cause] : { std::pair { "folder.drum", "not a regular file" },
             std::pair { "fifo.drum", "not a regular file" } }) {
        std::ostringstream out, err;
        EXPECT_EQ(standin::playScript(temp.file(name), {}, out, err), standin::BadScript);
        EXPECT_NE(err.str().find(std::string(name) + ": " + cause), std::string::npos) << err.str();
    }
}

// ---- the built TAMBRIX.EXE, as a process --------------------------------------------------

// A copy of the built stand-in host in a folder with blanks and quotes in its name, with its own
// registry file, so that a run changes nothing outside the test.
struct StandInProcess : ::testing::Test {
    TempFolder temp;
    QString folder = temp.file(QStringLiteral("my \"host\" $HOME"));
    QString exe = folder + QStringLiteral("/TAMBRIX.EXE");
    QString config = temp.file(QStringLiteral("config"));
    int exitCode = -1;
    QString out;
    QString err;

    StandInProcess()
    {
        EXPECT_TRUE(QDir().mkpath(folder));
        EXPECT_TRUE(QFile::copy(QStringLiteral(TAMBRIX_EXE), exe));
    }

    void run(const QString& program, const QStringList& arguments, const QString& workingFolder)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(workingFolder);
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForFinished(60000)) << process.errorString().toStdString();
        ASSERT_EQ(process.exitStatus(), QProcess::NormalExit);
        exitCode = process.exitCode();
        out = QString::fromUtf8(process.readAllStandardOutput());
        err = QString::fromUtf8(process.readAllStandardError());
    }
};

TEST_F(StandInProcess, InitialisesWithNoArgument)
{
    run(exe, {}, temp.path());
    EXPECT_EQ(exitCode, 0) << err.toStdString();
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/TAMBRIX.INI")));
    EXPECT_EQ(readString(toPath(config + QStringLiteral("/winreg/HKEY_CURRENT_USER.ini")),
                  "software\\Quillmoor Tambrix", "ExeIniLocn"),
        folder.toStdString());
    EXPECT_TRUE(out.contains(QStringLiteral("TAMBRIX.EXE is initialised.")));
    EXPECT_TRUE(TempFolder::read(folder + QStringLiteral("/TAMBRIX.LOG"))
                    .contains("TAMBRIX.EXE is initialised."));
}

// The script that the test run writes, started as the test run starts the host.
TEST_F(StandInProcess, ShowsThePatternOfTheTestRunsScript)
{
    FakeServices fake;
    modRudimix module(fake.services);
    module.gsHostFolder = folder;
    module.gsTestHeader = kDefaultHeader;
    gsbTestRun(module, kDefaultLine);
    ASSERT_EQ(fake.launcher.starts.size(), 1u);
    const FakeLauncher::Start& start = fake.launcher.starts[0];
    // As started, with the real-time "file" driver (into /dev/null) for an audio device.
    run(start.program, QStringList { "--audio-driver", "file" } + start.arguments,
        start.workingFolder);

    EXPECT_EQ(exitCode, 0) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    for (const char* setting : { "TRACKVOICES(1) = 40,35,42,46,50,45", "TEMPO = 100", "REPEATS = 3",
             "TIMESIG = 4/4", "FTICKS = 120" })
        EXPECT_TRUE(out.contains(QLatin1String(setting))) << setting;
    EXPECT_TRUE(out.contains(QStringLiteral("RAW [new-rud]=") + kDefaultLine));
    EXPECT_TRUE(out.contains(QStringLiteral("22 notes")));

    // Every row: note number, token, type, volume, flam, voices.
    struct Expected {
        const char* type;
        const char* volume;
        const char* flam;
    };
    const std::map<QString, Expected> byToken = { { "48X", { "4", "8", "yes" } },
        { "45", { "4", "5", "no" } }, { "48", { "4", "8", "no" } }, { "65", { "6", "5", "no" } },
        { "38", { "3", "8", "no" } }, { "73", { "7", "3", "no" } }, { "55", { "5", "5", "no" } } };
    const QStringList tokens = kDefaultLine.split(u',');
    int rows = 0;
    for (const QString& line : out.split(u'\n')) {
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        if (fields.size() != 6 || fields[0].toInt() == 0)
            continue;
        ++rows;
        const int number = fields[0].toInt();
        ASSERT_LE(number, tokens.size());
        EXPECT_EQ(fields[1], tokens[number - 1]);
        const Expected& expected = byToken.at(fields[1]);
        EXPECT_EQ(fields[2], QLatin1String(expected.type));
        EXPECT_EQ(fields[3], QLatin1String(expected.volume));
        EXPECT_EQ(fields[4], QLatin1String(expected.flam));
        EXPECT_EQ(fields[5], QStringLiteral("A"));
    }
    EXPECT_EQ(rows, 22);
    EXPECT_TRUE(TempFolder::read(folder + QStringLiteral("/TAMBRIX.LOG")).contains("22 notes"));
    EXPECT_TRUE(out.contains(QStringLiteral("Playing live through file")));
    EXPECT_TRUE(out.contains(QStringLiteral("Played to the end")));
}

TEST_F(StandInProcess, MalformedScriptOrArgumentsGiveOneLineAndAFailingExitCode)
{
    const QString script = folder + QStringLiteral("/bad.drum");
    TempFolder::write(script, "SET TEMPO=90\r\nRAW [new-rud]=48X\r\n");
    struct Case {
        QStringList arguments;
        int exitCode;
        QString message;
    };
    const QString ok = folder + QStringLiteral("/ok.drum");
    TempFolder::write(ok, "RAW [new-rud]=48X\n[new-rud]\n");
    const QString mid = folder + QStringLiteral("/out.mid");
    const std::vector<Case> cases = {
        { { "-notimesig", script }, 1, script + ": no line \"[new-rud]\" that plays the pattern" },
        { { "-notimesig", folder + "/none.drum" }, 1,
            "cannot read the script " + folder + "/none.drum: No such file or directory" },
        // Wrong arguments: one line naming the wrong one.
        { { "-notimesig" }, 2, "TAMBRIX.EXE: no script given. Try --help.\n" },
        { { "-x", script }, 2, "TAMBRIX.EXE: unknown option \"-x\". Try --help.\n" },
        { { "--bogus", script }, 2, "unknown option \"--bogus\". Try --help.\n" },
        { { "-NOTIMESIG", script }, 2, "unknown option \"-NOTIMESIG\". Try --help.\n" },
        { { "-notimesig", "-notimesig", script }, 2, "-notimesig is given twice. Try --help.\n" },
        { { "--render", "a", "--render=b", script }, 2, "--render is given twice. Try --help.\n" },
        { { "--version", "extra" }, 2, "--version takes no other argument (\"extra\" given)" },
        { { "--help", "--stop" }, 2, "--help takes no other argument (--stop given)" },
        { { "-notimesig=1", script }, 2, "unknown option \"-notimesig=1\"" },
        { { "--midi=", script }, 2, "--midi needs a value. Try --help.\n" },
        { { script, ok }, 2, "one script only, not also \"" + ok + "\". Try --help.\n" },
        { { "--render", mid, "--midi=" + mid, ok }, 2, "--render and --midi name the same file" },
        { { "--midi", ok, ok }, 2, "the script " + ok + " and an output name the same file" },
        { { "--sheet", folder + "/x.pdf", ok }, 0, "" }, // drawn without a display
        { { "--sheet", folder + "/x.xml", ok }, 2,
            "the sheet " + folder + "/x.xml must be named with .musicxml, .pdf or .svg" },
        { { "--midi", mid, "--sheet", mid, ok }, 2, "--midi and --sheet name the same file" },
        // "--" ends the options: "-x.drum" is a script; "--midi=FILE" gives a value.
        { { "--", "-x.drum" }, 1, "cannot read the script -x.drum: No such file" },
        { { "--midi=" + mid, "--", ok }, 0, "" },
        { { "--sheet", folder + "/x.MusicXML", "-notimesig", "--midi", mid, ok }, 0, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        run(exe, c.arguments, folder);
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_TRUE(err.contains(c.message) && err.count(u'\n') == (c.exitCode != 0))
            << err.toStdString();
        EXPECT_EQ(out.isEmpty(), c.exitCode != 0) << out.toStdString();
    }
}

TEST_F(StandInProcess, WritesTheSheetAsMusicXmlBesideTheOtherFiles)
{
    const QString script = folder + QStringLiteral("/groove.drum");
    TempFolder::write(script, "SET TIMESIG=3/4\r\nRAW [new-rud]=18X,15>B,15,15\r\n[new-rud]\r\n");
    const QString sheet = folder + QStringLiteral("/groove.musicxml");
    for (const bool noTimeSig : { false, true }) {
        QStringList arguments { "--sheet", sheet, "--midi", folder + "/groove.mid", script };
        if (noTimeSig)
            arguments.prepend(QStringLiteral("-notimesig"));
        run(exe, arguments, folder);
        ASSERT_EQ(exitCode, 0) << err.toStdString();
        EXPECT_TRUE(out.contains(
            "Wrote the sheet " + sheet + (noTimeSig ? " (1 measure)" : " (2 measures)")))
            << out.toStdString();
        const QByteArray xml = TempFolder::read(sheet);
        EXPECT_TRUE(xml.startsWith("<?xml") && xml.contains("<score-partwise version=\"3.1\">"));
        EXPECT_TRUE(xml.contains(noTimeSig ? "<beats>4</beats>" : "<beats>3</beats>"));
        EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 5); // nothing left beside them
    }
}

} // namespace
