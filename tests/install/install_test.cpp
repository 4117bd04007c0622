// The installed Rudimix: the staged tree, the programs' --version and --help without a display,
// and the first and second start through rudimix-launch with a fresh home.
#include "standin.h"
#include "tempdir.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

namespace {

QString gStage; // DESTDIR of the staged installation, shared by the tests

struct Outcome {
    int code = -1;
    QString out;
};

Outcome runProgram(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment, int timeoutMs = 60000)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return { process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()) };
}

// Every file and link under the folder with its content or link target, relative names sorted.
QStringList snapshot(const QString& folder)
{
    QStringList entries;
    QDirIterator it(folder, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        const QString content = file.isSymLink()
            ? QStringLiteral("-> ") + file.symLinkTarget()
            : QCryptographicHash::hash(TempFolder::read(file.filePath()), QCryptographicHash::Sha1)
                  .toHex();
        entries << QDir(folder).relativeFilePath(file.filePath()) + u' ' + content;
    }
    entries.sort();
    return entries;
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static QTemporaryDir stage;
        gStage = stage.path();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DESTDIR"), gStage);
        const Outcome install = runProgram(QStringLiteral(CMAKE_COMMAND_PATH),
            { "--install", RUDIMIX_BUILD_DIR, "--prefix", "/usr" }, environment);
        ASSERT_EQ(install.code, 0) << install.out.toStdString();
    }
    static QString staged(const QString& path) { return gStage + QStringLiteral("/usr/") + path; }

    // A user who never ran Rudimix: own home, configuration and data folders, no display.
    QProcessEnvironment freshUser(bool offscreen) const
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        for (const char* sanitizer : { "ASAN_OPTIONS", "UBSAN_OPTIONS" })
            if (qEnvironmentVariableIsSet(sanitizer))
                environment.insert(sanitizer, qEnvironmentVariable(sanitizer));
        environment.insert(QStringLiteral("HOME"), home.file(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.file(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.file(QStringLiteral("data")));
        if (offscreen) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            environment.insert(QStringLiteral("RUDIMIX_WINDOW_REPORT"), report());
        }
        return environment;
    }
    QString report() const { return home.file(QStringLiteral("windows.txt")); }
    QString hostFolder() const { return home.file(QStringLiteral("data/tambrix")); }
    QString registryFile() const
    {
        return home.file(QStringLiteral("config/winreg/HKEY_CURRENT_USER.ini"));
    }

    // Starts the installed launcher; true when the editor window came up.
    bool launchShowsEditor() const
    {
        QFile::remove(report());
        const Outcome run
            = runProgram(staged(QStringLiteral("bin/rudimix-launch")), {}, freshUser(true));
        return run.code == 0 && TempFolder::read(report()).startsWith("frmRudimix\t");
    }

    TempFolder home;
};

TEST_F(InstallTest, StagedTreeHoldsTheProgramsTheIconsAndTheDesktopFiles)
{
    QStringList files = snapshot(gStage).replaceInStrings(QRegularExpression(" .*"), QString());
    EXPECT_EQ(files,
        QStringList({ "usr/bin/rudimix", "usr/bin/rudimix-launch", "usr/lib/rudimix/TAMBRIX.EXE",
            "usr/share/applications/org.rudimix.Rudimix.desktop",
            "usr/share/icons/hicolor/32x32/apps/rudimix.png",
            "usr/share/icons/hicolor/64x64/apps/rudimix.png",
            "usr/share/icons/hicolor/scalable/apps/rudimix.svg",
            "usr/share/metainfo/org.rudimix.Rudimix.metainfo.xml" }));
    for (const char* program : { "bin/rudimix", "bin/rudimix-launch", "lib/rudimix/TAMBRIX.EXE" })
        EXPECT_TRUE(QFileInfo(staged(program)).isExecutable()) << program;
    for (int size : { 32, 64 }) {
        const QImage icon(
            staged(QStringLiteral("share/icons/hicolor/%1x%1/apps/rudimix.png").arg(size)));
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel() && qAlpha(icon.pixel(0, 0)) == 0); // transparent corner
    }
    EXPECT_TRUE(
        TempFolder::read(staged(QStringLiteral("share/applications/org.rudimix.Rudimix.desktop")))
            .contains("\nExec=rudimix-launch\n"));
}

TEST_F(InstallTest, VersionAndHelpAnswerWithoutDisplayOrFiles)
{
    const struct {
        const char* program;
        const char* option;
        const char* begins;
    } cases[] = {
        { "bin/rudimix", "--version", "rudimix " RUDIMIX_VERSION "\n" },
        { "bin/rudimix", "--help", "Usage: rudimix" },
        { "bin/rudimix-launch", "--version", "rudimix " RUDIMIX_VERSION "\n" },
        { "lib/rudimix/TAMBRIX.EXE", "--version",
            "TAMBRIX.EXE (Rudimix stand-in host) " RUDIMIX_VERSION },
        { "lib/rudimix/TAMBRIX.EXE", "--help", "TAMBRIX.EXE, the stand-in host" },
    };
    for (const auto& c : cases) {
        const Outcome run = runProgram(staged(c.program), { c.option }, freshUser(false), 10000);
        EXPECT_EQ(run.code, 0) << c.program << ' ' << c.option;
        EXPECT_TRUE(run.out.startsWith(QLatin1String(c.begins))) << run.out.toStdString();
    }
    EXPECT_EQ(snapshot(home.path()), QStringList()); // no settings, registry or log written
    EXPECT_FALSE(QFileInfo::exists(staged(QStringLiteral("lib/rudimix/TAMBRIX.LOG"))));
}

TEST_F(InstallTest, FirstStartPreparesTheUsersHostFolderAndASecondChangesNothing)
{
    ASSERT_TRUE(launchShowsEditor()) << TempFolder::read(report()).toStdString();
    const QString link = hostFolder() + QStringLiteral("/TAMBRIX.EXE");
    EXPECT_EQ(QFileInfo(link).symLinkTarget(),
        QFileInfo(staged(QStringLiteral("lib/rudimix/TAMBRIX.EXE"))).canonicalFilePath());
    const QByteArray settings = TempFolder::read(hostFolder() + QStringLiteral("/TAMBRIX.INI"));
    EXPECT_TRUE(settings.contains("[program]") && settings.contains("MaxRudimixNotes=32"));
    EXPECT_TRUE(TempFolder::read(registryFile()).contains("ExeIniLocn=" + hostFolder().toUtf8()));
    EXPECT_TRUE(TempFolder::read(hostFolder() + QStringLiteral("/TAMBRIX.LOG")).contains("--init"));

    const QStringList before = snapshot(home.file(QStringLiteral("data")))
        + snapshot(home.file(QStringLiteral("config")));
    ASSERT_TRUE(launchShowsEditor());
    EXPECT_EQ(
        snapshot(home.file(QStringLiteral("data"))) + snapshot(home.file(QStringLiteral("config"))),
        before);
}

TEST_F(InstallTest, RegisteredHostElsewhereIsLeftAsItIs)
{
    const QString realHost = home.file(QStringLiteral("realhost"));
    ASSERT_TRUE(QDir().mkpath(realHost) && QDir().mkpath(QFileInfo(registryFile()).path()));
    TempFolder::write(realHost + QStringLiteral("/TAMBRIX.INI"), "[program]\nMaxRudimixNotes=40\n");
    TempFolder::write(
        registryFile(), "[software\\Quillmoor Tambrix]\nExeIniLocn=" + realHost.toUtf8() + "\n");
    const QStringList before = snapshot(home.path());
    ASSERT_TRUE(launchShowsEditor());
    QStringList after = snapshot(home.path()).filter(QRegularExpression("^(?!windows.txt)"));
    EXPECT_EQ(after, before);
}

TEST(StandInFolders, LogGoesToTheFolderItWasStartedFrom)
{
    const struct {
        QStringList arguments;
        QString startedAs;
        QString log;
    } cases[] = {
        { { "-notimesig", "/h/DudEderava.drum" }, "/home/u/.local/share/tambrix/TAMBRIX.EXE",
            "/home/u/.local/share/tambrix" },
        { {}, "TAMBRIX.EXE", "/usr/lib/rudimix" }, // found on PATH: the program's folder
        { { "--init", "/home/u/host" }, "/usr/lib/rudimix/TAMBRIX.EXE", "/home/u/host" },
        { { "--version" }, "/usr/lib/rudimix/TAMBRIX.EXE", "" },
    };
    for (const auto& c : cases) {
        const QString own = standin::ownFolder(c.startedAs, QStringLiteral("/usr/lib/rudimix"));
        EXPECT_EQ(standin::logFolder(c.arguments, own), c.log) << c.startedAs.toStdString();
    }
}

} // namespace
