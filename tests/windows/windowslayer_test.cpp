// The Windows layer against the system's own calls (under Wine in the cross build): the
// registry value, the settings file through the profile calls, and the host as it is started.
#include "defaultheader.h"
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
