// The installed Rudimix: the staged tree, --version and --help without a display, and the first
// and second start through rudimix-launch for a user who never ran it.
#include "hostcommand.h"
#include "hostpaths.h"
#include "launcher.h"
#include "tempdir.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

QString gStage; // DESTDIR of the installation that the tests share
QProcess* gXServer = nullptr; // the tests' own X display (Xvfb), where the editor shows its window
QString gDisplay;

// Runs a program to its end; the exit code (-1 when it hung or crashed) and its output.
std::pair<int, QByteArray> runProgram(
    const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return { -1, process.readAllStandardError() };
    return { process.exitCode(), process.readAllStandardOutput() };
}

// A reply of the X server, freed when it goes.
template <class T> struct Reply : std::unique_ptr<T, decltype(&std::free)> {
    explicit Reply(T* reply)
        : std::unique_ptr<T, decltype(&std::free)>(reply, std::free)
    {
    }
};

// The X display's windows as a window manager sees them: the top-level windows that are shown,
// found by their titles, and closed as their close boxes do.
class XDisplay {
public:
    explicit XDisplay(const QString& name)
        : mConnection(xcb_connect(name.toLatin1().constData(), nullptr), xcb_disconnect)
    {
    }
    bool connected() const { return !xcb_connection_has_error(mConnection.get()); }

    // The shown top-level window of that title, waited for up to the time; 0 when none came.
    xcb_window_t waitForWindow(const QByteArray& title, int timeoutMs) const
    {
        xcb_connection_t* c = mConnection.get();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const xcb_atom_t name = atom("_NET_WM_NAME"), utf8 = atom("UTF8_STRING");
        QElapsedTimer waited;
        waited.start();
        do {
            const Reply tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
            for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
                const xcb_window_t window = xcb_query_tree_children(tree.get())[i];
                const Reply shown(xcb_get_window_attributes_reply(
                    c, xcb_get_window_attributes(c, window), nullptr));
                const Reply text(xcb_get_property_reply(
                    c, xcb_get_property(c, 0, window, name, utf8, 0, 1024), nullptr));
                if (shown && shown->map_state == XCB_MAP_STATE_VIEWABLE && text
                    && QByteArray(static_cast<const char*>(xcb_get_property_value(text.get())),
                           xcb_get_property_value_length(text.get()))
                        == title)
                    return window;
            }
            QThread::msleep(50);
        } while (waited.elapsed() < timeoutMs);
        return 0;
    }

    // Asks the window to close (WM_DELETE_WINDOW), as a click on its close box does.
    void close(xcb_window_t window) const
    {
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = atom("WM_PROTOCOLS");
        message.data.data32[0] = atom("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(mConnection.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
            reinterpret_cast<const char*>(&message));
        xcb_flush(mConnection.get());
    }

private:
    xcb_atom_t atom(const char* name) const
    {
        xcb_connection_t* c = mConnection.get();
        const Reply reply(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> mConnection;
};

// The tests' connection to their X display, open for all of them (so the server never resets
// between two starts of the editor).
XDisplay* gXDisplay = nullptr;

// Every file and link under the folder with a hash of its content or its link target.
QStringList snapshot(const QString& folder, bool withContent = true)
{
    QStringList entries;
    QDirIterator it(
        folder, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        const QByteArray hash
            = QCryptographicHash::hash(TempFolder::read(file.filePath()), QCryptographicHash::Sha1);
        entries << QDir(folder).relativeFilePath(file.filePath())
                + (!withContent            ? u""_s
                        : file.isSymLink() ? file.symLinkTarget()
                                           : hash.toHex());
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
        environment.insert(u"DESTDIR"_s, gStage);
        const auto [code, out] = runProgram(CMAKE_COMMAND_PATH,
            { "--install", RUDIMIX_BUILD_DIR, "--prefix", "/usr" }, environment);
        ASSERT_EQ(code, 0) << out.toStdString();

        gXServer = new QProcess;
        gXServer->start(QStandardPaths::findExecutable(u"Xvfb"_s),
            { u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s, u"-noreset"_s });
        if (gXServer->waitForReadyRead(20000))
            gDisplay = u":"_s + QString::fromLatin1(gXServer->readLine()).trimmed();
        if (!gDisplay.isEmpty())
            gXDisplay = new XDisplay(gDisplay);
    }
    static void TearDownTestSuite()
    {
        delete gXDisplay;
        if (gXServer) {
            gXServer->kill();
            gXServer->waitForFinished(5000);
            delete gXServer;
        }
    }
    static QString staged(const QString& path) { return gStage + u"/usr/"_s + path; }

    // A user who never ran Rudimix: a home and XDG folders of their own, no display unless the
    // tests' own X display is asked for.
    QProcessEnvironment freshUser(bool display) const
    {
        QProcessEnvironment environment;
        for (const char* name : { "PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS" })
            if (qEnvironmentVariableIsSet(name))
                environment.insert(name, qEnvironmentVariable(name));
        for (const auto& [name, folder] : { std::pair { "HOME", "home" },
                 { "XDG_CONFIG_HOME", "config" }, { "XDG_DATA_HOME", "data" } })
            environment.insert(name, home.file(folder));
        if (display)
            environment.insert(u"DISPLAY"_s, gDisplay);
        return environment;
    }

    // Starts the installed launcher on the tests' X display and closes the editor's window once
    // it is shown; the user's folders afterwards, or nothing when the editor window did not come
    // up or the program did not end with exit code 0.
    QStringList launch() const
    {
        const bool ready = gXDisplay && gXDisplay->connected();
        EXPECT_TRUE(ready) << "Xvfb is missing or did not start";
        QProcess program;
        program.setProcessEnvironment(freshUser(true));
        program.start(staged(u"bin/rudimix-launch"_s));
        const xcb_window_t editor
            = ready ? gXDisplay->waitForWindow("Build RAW Patterns / Rudiments", 60000) : 0;
        if (editor)
            gXDisplay->close(editor);
        if (!editor || !program.waitForFinished(60000))
            program.kill();
        program.waitForFinished(5000);
        if (!editor || program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
            return {};
        return snapshot(home.file(u"data"_s)) + snapshot(home.file(u"config"_s));
    }

    TempFolder home;
    const QString hostFolder = home.file(u"data/tambrix"_s);
    const QString registryFile = home.file(u"config/winreg/HKEY_CURRENT_USER.ini"_s);
};

TEST_F(InstallTest, StagedTreeHoldsTheProgramsTheIconsAndTheDesktopFiles)
{
    EXPECT_EQ(snapshot(gStage, false),
        QStringList({ "usr/bin/rudimix", "usr/bin/rudimix-launch", "usr/lib/rudimix/TAMBRIX.EXE",
            "usr/lib/x86_64-linux-gnu/rudimix/libtambrix-host.so",
            "usr/share/applications/org.rudimix.Rudimix.desktop",
            "usr/share/doc/rudimix/changelog.gz", "usr/share/doc/rudimix/copyright",
            "usr/share/icons/hicolor/32x32/apps/rudimix.png",
            "usr/share/icons/hicolor/64x64/apps/rudimix.png",
            "usr/share/icons/hicolor/scalable/apps/rudimix.svg",
            "usr/share/man/man1/rudimix-launch.1.gz", "usr/share/man/man1/rudimix.1.gz",
            "usr/share/metainfo/org.rudimix.Rudimix.metainfo.xml" }));
    for (const char* program : { "bin/rudimix", "bin/rudimix-launch", "lib/rudimix/TAMBRIX.EXE" })
        EXPECT_TRUE(QFileInfo(staged(program)).isExecutable()) << program;
    for (int size : { 32, 64 }) {
        const QImage icon(staged(u"share/icons/hicolor/%1x%1/apps/rudimix.png"_s.arg(size)));
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_TRUE(icon.hasAlphaChannel() && qAlpha(icon.pixel(0, 0)) == 0); // transparent corner
    }
}

TEST_F(InstallTest, VersionAndHelpAnswerWithoutDisplayOrFiles)
{
    const char* const cases[][3] = {
        { "bin/rudimix", "--version", "rudimix " RUDIMIX_VERSION "\n" },
        { "bin/rudimix", "--help", "Usage: rudimix" },
        { "bin/rudimix-launch", "--version", "rudimix " RUDIMIX_VERSION "\n" },
        { "lib/rudimix/TAMBRIX.EXE", "--version", "TAMBRIX.EXE (Rudimix stand-in host) 1" },
        { "lib/rudimix/TAMBRIX.EXE", "--help", "TAMBRIX.EXE, the stand-in host" },
    };
    for (const auto& [program, option, begins] : cases) {
        const auto [code, out] = runProgram(staged(program), { option }, freshUser(false));
        EXPECT_EQ(code, 0) << program << ' ' << option;
        EXPECT_TRUE(out.startsWith(begins)) << out.toStdString();
    }
    EXPECT_EQ(snapshot(home.path()), QStringList()); // no settings, registry or log written
    EXPECT_FALSE(QFileInfo::exists(staged(u"lib/rudimix/TAMBRIX.LOG"_s)));
}

TEST_F(InstallTest, FirstStartPreparesTheUsersHostFolderAndASecondChangesNothing)
{
    const QStringList first = launch();
    ASSERT_FALSE(first.isEmpty()) << "the editor window did not come up";
    EXPECT_EQ(QFileInfo(hostFolder + u"/TAMBRIX.EXE"_s).symLinkTarget(),
        QFileInfo(staged(u"lib/rudimix/TAMBRIX.EXE"_s)).canonicalFilePath());
    const QByteArray settings = TempFolder::read(hostFolder + u"/TAMBRIX.INI"_s);
    EXPECT_TRUE(settings.contains("[program]") && settings.contains("MaxRudimixNotes=32"));
    EXPECT_TRUE(TempFolder::read(registryFile).contains("ExeIniLocn=" + hostFolder.toUtf8()));
    EXPECT_TRUE(TempFolder::read(hostFolder + u"/TAMBRIX.LOG"_s).contains("--init"));
    EXPECT_EQ(launch(), first); // the second start changes nothing
}

TEST_F(InstallTest, RegisteredHostElsewhereIsLeftAsItIs)
{
    const QString realHost = home.file(u"data/realhost"_s);
    ASSERT_TRUE(QDir().mkpath(realHost) && QDir().mkpath(home.file(u"config/winreg"_s)));
    TempFolder::write(realHost + u"/TAMBRIX.INI"_s, "[program]\nMaxRudimixNotes=40\n");
    TempFolder::write(
        registryFile, "[software\\Quillmoor Tambrix]\nExeIniLocn=" + realHost.toUtf8());
    const QStringList before = snapshot(home.file(u"data"_s)) + snapshot(home.file(u"config"_s));
    EXPECT_EQ(launch(), before);
}

// Nothing is written into the installed program's folder: started from there, the host logs
// into the user's state folder and says so, and it initialises no folder but one given to it.
TEST_F(InstallTest, InstalledHostWritesNothingIntoItsFolder)
{
    const QString script = home.file(u"ok.drum"_s);
    TempFolder::write(script, "RAW [new-rud]=48X\n[new-rud]\n");
    const QString host = staged(u"lib/rudimix/TAMBRIX.EXE"_s);
    const QString log = home.file(u"home/.local/state/tambrix/TAMBRIX.LOG"_s);
    for (const auto& [arguments, exitCode, logged] :
        std::vector<std::tuple<QStringList, int, QByteArray>> {
            { { "--midi", home.file(u"out.mid"_s), script }, 0, "Wrote the MIDI file" },
            { {}, 3, "is the folder it is installed in, where nothing is written" } }) {
        EXPECT_EQ(runProgram(host, arguments, freshUser(false)).first, exitCode);
        EXPECT_TRUE(TempFolder::read(log).contains(logged)) << TempFolder::read(log).toStdString();
        EXPECT_TRUE(TempFolder::read(log).contains("started from its installed folder "
            + QFileInfo(host).path().toUtf8() + "; the log is " + log.toUtf8()));
        EXPECT_EQ(
            QDir(QFileInfo(host).path())
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
            QStringList { u"TAMBRIX.EXE"_s });
    }
}

// The launcher names what it cannot mend and mends a registered folder that has vanished.
TEST(Launcher, NamesWhatIsWrongAndReplacesAVanishedHostFolder)
{
    const QString standIn = QStringLiteral(RUDIMIX_BUILD_DIR "/bin/TAMBRIX.EXE");
    struct Case {
        const char* name;
        const char* userFolder;
        const char* registered; // relative to the temporary folder; empty: none
        bool prepared;
        const char* message;
    };
    for (const Case& c : {
             Case { "TAMBRIX.EXE a folder", "mine", "", false,
                 "/mine/TAMBRIX.EXE is a folder, not the host program; move it away" },
             Case { "vanished", "mine", "gone", true,
                 "the registered host folder %1/gone no longer exists; prepared the host folder "
                 "%1/mine and registered it" },
             Case { "name outside Windows-1252", "\u4e2d", "", false,
                 "the host folder %1/\u4e2d cannot be registered, since Windows-1252 cannot hold" },
             Case { "registered folder without TAMBRIX.INI", "mine", "other", false,
                 "the registered host folder %1/other has no TAMBRIX.INI; run TAMBRIX.EXE --init" },
         }) {
        SCOPED_TRACE(c.name);
        TempFolder temp;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.file(u"config"_s)));
        IniRegistry registry(temp.file(u"config/winreg/HKEY_CURRENT_USER.ini"_s).toStdString());
        const QString userFolder = temp.file(QString::fromUtf8(c.userFolder));
        if (c.name == std::string("TAMBRIX.EXE a folder")) {
            ASSERT_TRUE(QDir().mkpath(userFolder + u"/TAMBRIX.EXE"_s));
        }
        if (c.name == std::string("registered folder without TAMBRIX.INI")) {
            ASSERT_TRUE(QDir().mkpath(temp.file(u"other"_s)));
        }
        if (*c.registered) {
            ASSERT_TRUE(registry.setString("software\\Quillmoor Tambrix\\", "ExeIniLocn",
                temp.file(QLatin1String(c.registered)).toStdString()));
        }
        std::ostringstream out, err;
        launcher::prepareHostFolder(registry, userFolder, standIn, out, err);
        const QString said = QString::fromStdString(out.str() + err.str());
        EXPECT_TRUE(said.startsWith(u"rudimix-launch: "_s) && said.count(u'\n') == 1
            && said.contains(QString::fromUtf8(c.message).arg(temp.path())))
            << said.toStdString();
        EXPECT_EQ(QFileInfo::exists(userFolder + u"/TAMBRIX.INI"_s), c.prepared);
        EXPECT_EQ(launcher::registeredHostFolder(registry),
            c.prepared          ? userFolder
                : *c.registered ? temp.file(QLatin1String(c.registered))
                                : QString());
    }
    qunsetenv("XDG_CONFIG_HOME");
}

// The launcher runs no program that another user could have put in the host folder (another
// user's files need root to be made), and says "registered" only when the value names the folder.
TEST(Launcher, RefusesAHostFolderOthersCanChangeOrTheRegistryCannotHold)
{
    const QString standIn = QStringLiteral(RUDIMIX_BUILD_DIR "/bin/TAMBRIX.EXE");
    const QString longName = QString(130, u'n') + u'/' + QString(130, u'n');
    const struct {
        const char* name;
        const char* userFolder; // in the temporary folder, made by the row
        const char* program; // TAMBRIX.EXE there, with its mode and owner (0: this user)
        mode_t mode;
        uid_t owner;
        const char* message;
    } rows[] = { { "the folder a link to another user's", "mine", "other/TAMBRIX.EXE", 0755, 65534,
                     "/mine (a link to %1/other) belongs to another user" },
        { "a shared data home with another user's host", "shared/tambrix",
            "shared/tambrix/TAMBRIX.EXE", 0755, 65534,
            "%1/shared/tambrix belongs to another user" },
        { "TAMBRIX.EXE writable by others", "mine", "mine/TAMBRIX.EXE", 0777, 0,
            "%1/mine/TAMBRIX.EXE can be written by other users" },
        { "a folder name of 256 bytes or more", "", "", 0, 0,
            "bytes long and the registry value ExeIniLocn holds at most 255" } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.owner && ::geteuid() != 0)
            continue;
        TempFolder temp;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.file(u"config"_s)));
        IniRegistry registry(temp.file(u"config/winreg/HKEY_CURRENT_USER.ini"_s).toStdString());
        const QString userFolder = temp.file(*row.userFolder ? QString(row.userFolder) : longName);
        const QString program = temp.file(row.program), marker = temp.file(u"ran"_s);
        if (*row.program) { // a program that leaves a mark when it runs
            QDir().mkpath(QFileInfo(program).path());
            TempFolder::write(program, "#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\n");
            ::chmod(QFile::encodeName(program).constData(), row.mode);
            for (const QString& path : { program, QFileInfo(program).path() })
                if (row.owner && ::chown(QFile::encodeName(path).constData(), row.owner, row.owner))
                    FAIL() << "chown";
        }
        if (QString(row.program).startsWith(u"other"_s))
            QFile::link(temp.file(u"other"_s), userFolder);
        if (QString(row.userFolder).startsWith(u"shared"_s)) {
            ::chmod(QFile::encodeName(temp.file(u"shared"_s)).constData(), 01777);
            qputenv("XDG_DATA_HOME", QFile::encodeName(temp.file(u"shared"_s)));
        }
        std::ostringstream out, err;
        EXPECT_FALSE(launcher::prepareHostFolder(registry, userFolder, standIn, out, err));
        qunsetenv("XDG_DATA_HOME");
        const QString said = QString::fromStdString(out.str() + err.str());
        EXPECT_TRUE(said.startsWith(u"rudimix-launch: "_s) && said.count(u'\n') == 1
            && said.contains(QString(row.message).replace(u"%1"_s, temp.path()))
            && !said.contains(u"registered it"_s))
            << said.toStdString();
        EXPECT_FALSE(QFileInfo::exists(marker)) << "the program was run";
        EXPECT_TRUE(launcher::registeredHostFolder(registry).isEmpty());
    }
    // TAMBRIX.EXE --init refuses such a folder as well, naming why.
    TempFolder temp;
    QDir().mkpath(temp.file(longName));
    QProcess init;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_CONFIG_HOME"_s, temp.file(u"config"_s));
    init.setProcessEnvironment(environment);
    init.start(standIn, { u"--init"_s, temp.file(longName) });
    ASSERT_TRUE(init.waitForFinished(30000));
    EXPECT_EQ(init.exitCode(), 3);
    EXPECT_TRUE(init.readAllStandardError().contains("more than the 255 that the registry value"));
    qunsetenv("XDG_CONFIG_HOME");
}

TEST(StandInFolders, LogGoesToTheFolderItWasStartedFrom)
{
    qputenv("XDG_STATE_HOME", "/home/u/.local/state");
    const QString cases[][3] = {
        { "-notimesig x.drum", "/home/u/.local/share/tambrix/TAMBRIX.EXE",
            "/home/u/.local/share/tambrix" },
        // Started from the installed folder (found on PATH, or by its path): the state folder.
        { "", "TAMBRIX.EXE", "/home/u/.local/state/tambrix" },
        { "-notimesig x.drum", "/usr/lib/rudimix/TAMBRIX.EXE", "/home/u/.local/state/tambrix" },
        { "--init /home/u/host", "/usr/lib/rudimix/TAMBRIX.EXE", "/home/u/host" },
        { "--init=/home/u/host", "/usr/lib/rudimix/TAMBRIX.EXE", "/home/u/host" },
        { "--version", "/usr/lib/rudimix/TAMBRIX.EXE", "" },
    };
    for (const auto& [arguments, startedAs, log] : cases) {
        const QString own = standin::ownFolder(startedAs, u"/usr/lib/rudimix"_s);
        EXPECT_EQ(standin::logFolder(arguments.split(u' ', Qt::SkipEmptyParts), own), log);
    }
}

} // namespace
