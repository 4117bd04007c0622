// The Windows layer against the system's own calls (under Wine in the cross build): the
// registry value, the settings file through the profile calls, the host folder as start-up
// takes it, and the host as it is started.
#include "defaultheader.h"
#include "drivefolder.h"
#include "fakes.h"
#include "modrudimix.h"
#include "qtservices.h"
#include "regapi.h"
#include "tempdir.h"
#include "testrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const std::string kTestKey = "software\\Rudimix Tests\\";
const QString kDefaultHeader = QString::fromLatin1(kDefaultHeaderText);

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Wine's registry, with the host's key read from a key of the tests' own.
class TestKeyRegistry : public WinRegistry {
public:
    long RegOpenKeyEx(HKEY root, const std::string& subKey, std::uint32_t options,
        std::uint32_t samDesired, HKEY* result) override
    {
        const bool hostKey = subKey == "software\\Quillmoor Tambrix\\";
        return WinRegistry::RegOpenKeyEx(
            root, hostKey ? kTestKey : subKey, options, samDesired, result);
    }
};

// The folders of the host-folder test, on drive C:, whose exact names the messages show.
const QString kRoot = QStringLiteral("C:\\RudimixTests");

// kRoot, then parts folders of 43 "x", then one of last "y": 16 + 44 * parts + last characters.
QString longFolder(int parts, int last)
{
    QString folder = kRoot;
    for (int i = 0; i < parts; ++i)
        folder += u'\\' + QString(43, u'x');
    return folder + u'\\' + QString(last, u'y');
}

// longFolder as a box shows it: one line of kRoot and the first "x" folder, one line for each
// further one, and the "y" folder.
QString longFolderLines(int parts, int last)
{
    QString lines = kRoot + u'\\' + QString(43, u'x') + QStringLiteral("\\\n");
    for (int i = 1; i < parts; ++i)
        lines += QString(43, u'x') + QStringLiteral("\\\n");
    return lines + QString(last, u'y');
}

} // namespace

TEST(WindowsRegistry, ReadsOnlyPlainStringsThatFitTheBuffer)
{
    struct Case {
        const char* what;
        std::uint32_t type;
        std::string stored; // with its NUL
        QString expected;
    };
    const std::string fits(255, 'a');
    const std::string tooLong(256, 'b');
    const Case cases[] = {
        { "REG_SZ", REG_SZ, std::string("C:\\Seq", 7), QStringLiteral("C:\\Seq") },
        { "REG_EXPAND_SZ", REG_EXPAND_SZ, std::string("%TEMP%", 7), QString() },
        { "255 bytes and the NUL", REG_SZ, fits + '\0', QString::fromStdString(fits) },
        { "256 bytes and the NUL", REG_SZ, tooLong + '\0', QString() },
        { "empty", REG_SZ, std::string(1, '\0'), QString() },
    };
    WinRegistry registry;
    FakeServices fake;
    Services services { fake.dialogs, fake.clipboard, fake.launcher, fake.programEnd, registry };
    modRudimix module(services);
    for (const Case& c : cases) {
        ASSERT_EQ(regapi::setValue(HKEY_CURRENT_USER, kTestKey, "Value", c.type, c.stored), 0);
        EXPECT_EQ(module.gfnRegGetString(
                      HKEY_CURRENT_USER, QString::fromStdString(kTestKey), QStringLiteral("Value")),
            c.expected)
            << c.what;
    }
    EXPECT_TRUE(module
                    .gfnRegGetString(HKEY_CURRENT_USER, QString::fromStdString(kTestKey),
                        QStringLiteral("Missing"))
                    .isEmpty());
    EXPECT_EQ(regapi::deleteKey(HKEY_CURRENT_USER, kTestKey), 0);
    EXPECT_TRUE(module
                    .gfnRegGetString(HKEY_CURRENT_USER, QString::fromStdString(kTestKey),
                        QStringLiteral("Value"))
                    .isEmpty());
}

TEST(WindowsSettingsFile, ReadsAndWritesThroughTheProfileCalls)
{
    TempFolder folder;
    const QString file = native(folder.file(QStringLiteral("TAMBRIX.INI")));
    const QByteArray longValue(1500, 'v');
    TempFolder::write(file,
        "[program]\r\nMaxRudimixNotes=48\r\nEmpty=\r\nMarker=#$%*&$#$%#\r\nLong=" + longValue
            + "\r\n");
    struct Case {
        const char* key;
        QString expected;
    };
    const Case cases[] = {
        { "MaxRudimixNotes", QStringLiteral("48") },
        { "Empty", QString() },
        { "Marker", QStringLiteral("32") }, // the marker counts as missing and is overwritten
        { "Missing", QStringLiteral("32") }, // written with the default
        { "Long", QString::fromLatin1(longValue.left(1023)) },
    };
    FakeServices fake;
    modRudimix module(fake.services);
    for (const Case& c : cases)
        EXPECT_EQ(module.gfnINIgetBasic(
                      QStringLiteral("program"), QLatin1String(c.key), QStringLiteral("32"), file),
            c.expected)
            << c.key;
    EXPECT_TRUE(module.gfnINIputBasic(
        QStringLiteral("program"), QStringLiteral("MaxRudimixNotes"), QStringLiteral("40"), file));
    const QByteArray written = TempFolder::read(file);
    EXPECT_TRUE(written.contains("MaxRudimixNotes=40\r\n")) << written.constData();
    EXPECT_TRUE(written.contains("Marker=32\r\n")) << written.constData();
    EXPECT_TRUE(written.contains("Missing=32\r\n")) << written.constData();
    EXPECT_TRUE(fake.dialogs.boxes.empty());
}

// TEST in a host folder with a blank, beside a decoy "Tambrix.exe" that Windows would start
// for the unquoted command line if the host's path were not given apart.
TEST(WindowsHostStart, TheHostReceivesTheCommandLineInItsFolder)
{
    TempFolder temp;
    const QString folder = native(temp.file(QStringLiteral("Tambrix Host")));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString recorder = QCoreApplication::applicationDirPath() + u'/' + RECORDING_HOST;
    ASSERT_TRUE(QFile::copy(recorder, folder + QStringLiteral("\\TAMBRIX.EXE")));
    ASSERT_TRUE(QFile::copy(recorder, temp.file(QStringLiteral("Tambrix.exe"))));

    FakeServices fake;
    SystemProcessLauncher launcher;
    Services services { fake.dialogs, fake.clipboard, launcher, fake.programEnd, fake.registry };
    modRudimix module(services);
    module.gsHostFolder = folder;
    module.gsTestHeader = kDefaultHeader;
    gsbTestRun(module, QStringLiteral("48X,45"));
    EXPECT_TRUE(fake.dialogs.boxes.empty());

    const QString script = folder + QStringLiteral("\\DudEderava.drum");
    EXPECT_EQ(TempFolder::read(script),
        (kDefaultHeader + QStringLiteral("\r\nRAW [new-rud]=48X,45\r\n[new-rud]\r\n")).toLatin1());
    const QString record = folder + QStringLiteral("\\record.txt");
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(record) && clock.elapsed() < 10000)
        QThread::msleep(50);
    const QStringList lines = QString::fromLocal8Bit(TempFolder::read(record)).split("\r\n");
    ASSERT_EQ(lines.size(), 4) << lines.join(u'|').toStdString();
    EXPECT_EQ(lines[0].toLower().toStdString(),
        (folder + QStringLiteral("\\TAMBRIX.EXE")).toLower().toStdString());
    EXPECT_EQ(lines[1].toStdString(),
        (folder + QStringLiteral("\\TAMBRIX.EXE -notimesig \"") + script + u'"').toStdString());
    EXPECT_EQ(lines[2].toLower().toStdString(), folder.toLower().toStdString());
    EXPECT_FALSE(QFile::exists(temp.file(QStringLiteral("record.txt"))));

    // No host in the folder: the box names the host's path and the reason.
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("\\TAMBRIX.EXE")));
    gsbTestRun(module, QStringLiteral("48X"));
    ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
    EXPECT_TRUE(fake.dialogs.boxes[0].text.startsWith(
        QStringLiteral("TAMBRIX.EXE could not be started:\n") + folder + "\\TAMBRIX.EXE\n"))
        << fake.dialogs.boxes[0].text.toStdString();
}

// Start-up reads the host folder from the registry value and TEST then uses it: a relative or
// drive-relative folder made absolute once (with the current folder on another drive than C:),
// a value with a NUL inside taken up to the NUL, and a folder too long for the system's paths
// refused with its name, wrapped, at start (the settings file's path) or at TEST (the script's).
TEST(WindowsHostFolder, StartAndTestTakeTheFolderAsTheSystemDoes)
{
    struct Case {
        const char* what;
        std::string value; // stored as REG_SZ, a NUL after it
        QString current; // the current folder during start-up; empty: the test's own, not on C:
        QString folder; // the host folder start-up sets
        QString startBox; // the box start-up ends the program with, or empty
        QString testBox; // the box TEST shows instead of starting the host, or empty
        QString commandLine; // the host's command line, when TEST starts it
    };
    const QString host = kRoot + QStringLiteral("\\Host");
    const QString hostLine = QStringLiteral("C:\\RudimixTests\\Host\\TAMBRIX.EXE -notimesig "
                                            "\"C:\\RudimixTests\\Host\\DudEderava.drum\"");
    const QString startTail = QStringLiteral(
        "\n\nMove Tambrix to a folder with a shorter name and run TAMBRIX.EXE once there.");
    const QString testTail = QStringLiteral(
        "\n\nThe test script cannot be written there; TAMBRIX.EXE has not been started.");
    const QString tooLong = QStringLiteral("The host folder's name is too long (%1 characters, at "
                                           "most %2):\n\n");
    const Case cases[] = {
        { "drive-relative C:Host", "C:Host", QString(), host, {}, {}, hostLine },
        { "relative Host", "Host", kRoot, host, {}, {}, hostLine },
        { "a NUL inside", std::string("C:\\RudimixTests\\Host") + '\0' + "C:\\Elsewhere", QString(),
            host, {}, {}, hostLine },
        { "239 characters", longFolder(4, 47).toStdString(), QString(), longFolder(4, 47), {}, {},
            longFolder(4, 47) + QStringLiteral("\\TAMBRIX.EXE -notimesig \"") + longFolder(4, 47)
                + QStringLiteral("\\DudEderava.drum\"") },
        { "240 characters", longFolder(4, 48).toStdString(), QString(), longFolder(4, 48), {},
            tooLong.arg(240).arg(239) + longFolderLines(4, 48) + testTail, {} },
        { "247 characters", longFolder(4, 55).toStdString(), QString(), longFolder(4, 55), {},
            tooLong.arg(247).arg(239) + longFolderLines(4, 55) + testTail, {} },
        { "248 characters", longFolder(4, 56).toStdString(), QString(), longFolder(4, 56),
            tooLong.arg(248).arg(247) + longFolderLines(4, 56) + startTail, {}, {} },
        { "255 characters", longFolder(5, 19).toStdString(), QString(), longFolder(5, 19),
            tooLong.arg(255).arg(247) + longFolderLines(5, 19) + startTail, {}, {} },
    };
    const QString testFolder = QDir::currentPath();
    ASSERT_FALSE(testFolder.startsWith(QLatin1String("C:"), Qt::CaseInsensitive))
        << testFolder.toStdString();
    ASSERT_TRUE(setDriveFolder('C', kRoot.toStdString()));
    const QString recorder = QCoreApplication::applicationDirPath() + u'/' + RECORDING_HOST;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(kRoot).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(c.folder));
        ASSERT_TRUE(QFile::copy(recorder, c.folder + QStringLiteral("\\TAMBRIX.EXE")));
        TempFolder::write(
            c.folder + QStringLiteral("\\TAMBRIX.INI"), "[program]\r\nMaxRudimixNotes=40\r\n");
        ASSERT_EQ(
            regapi::setValue(HKEY_CURRENT_USER, kTestKey, "ExeIniLocn", REG_SZ, c.value + '\0'), 0);

        FakeServices fake;
        TestKeyRegistry registry;
        SystemProcessLauncher launcher;
        Services services { fake.dialogs, fake.clipboard, launcher, fake.programEnd, registry };
        modRudimix module(services);
        module.ownFolder = kRoot + QStringLiteral("\\Own");
        ASSERT_TRUE(QDir::setCurrent(c.current.isEmpty() ? testFolder : c.current));
        const bool started = module.Main();
        ASSERT_TRUE(QDir::setCurrent(testFolder));
        EXPECT_EQ(module.gsHostFolder.toStdString(), c.folder.toStdString());
        if (!c.startBox.isEmpty()) {
            EXPECT_FALSE(started);
            EXPECT_EQ(fake.programEnd.calls, 1);
            ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
            EXPECT_EQ(fake.dialogs.boxes[0].text.toStdString(), c.startBox.toStdString());
            EXPECT_EQ(fake.dialogs.boxes[0].title, QStringLiteral("Host folder name too long"));
            EXPECT_EQ(fake.dialogs.boxes[0].icon, MsgIcon::Warning);
            continue;
        }
        EXPECT_TRUE(started);
        EXPECT_EQ(module.giMaxNotes, 40);
        EXPECT_TRUE(fake.dialogs.boxes.empty());

        module.gsTestHeader = kDefaultHeader;
        gsbTestRun(module, QStringLiteral("48X,45"));
        const QString record = c.folder + QStringLiteral("\\record.txt");
        if (!c.testBox.isEmpty()) {
            ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
            EXPECT_EQ(fake.dialogs.boxes[0].text.toStdString(), c.testBox.toStdString());
            EXPECT_EQ(fake.dialogs.boxes[0].title, QStringLiteral("Rudimix"));
            EXPECT_EQ(fake.dialogs.boxes[0].icon, MsgIcon::Error);
            EXPECT_FALSE(QFile::exists(c.folder + QStringLiteral("\\DudEderava.drum")));
            EXPECT_FALSE(QFile::exists(record));
            continue;
        }
        EXPECT_TRUE(fake.dialogs.boxes.empty());
        QElapsedTimer clock;
        clock.start();
        while (!QFile::exists(record) && clock.elapsed() < 10000)
            QThread::msleep(50);
        const QStringList lines = QString::fromLocal8Bit(TempFolder::read(record)).split("\r\n");
        ASSERT_EQ(lines.size(), 4) << lines.join(u'|').toStdString();
        EXPECT_EQ(lines[1].toStdString(), c.commandLine.toStdString());
        EXPECT_EQ(lines[2].toLower().toStdString(), c.folder.toLower().toStdString());
    }
    EXPECT_TRUE(QDir(kRoot).removeRecursively());
    EXPECT_EQ(regapi::deleteKey(HKEY_CURRENT_USER, kTestKey), 0);
}
