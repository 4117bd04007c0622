#include "fakes.h"
#include "modrudimix.h"
#include "tempdir.h"

#include <QDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// Main: the three outcomes of start-up.

namespace {

const QString kInitTitle = QStringLiteral("TAMBRIX.EXE has to be Initialized!");
const QString kInitText = QStringLiteral(
    "You have to run the TAMBRIX.EXE file once to initialize before you can continue with this "
    "program.");
const QString kInvalidTitle = QStringLiteral("Invalid number of notes");
const QString kInvalidText
    = QStringLiteral("The maximum number of notes has to be between 32 and 64");

class StartUp : public ::testing::Test {
protected:
    FakeServices fake;
    TempFolder own; // the program's own folder
    std::unique_ptr<IniRegistry> iniRegistry;
    std::unique_ptr<Services> services;
    std::unique_ptr<modRudimix> module;
    int editorShown = 0;

    QString settingsFile() const { return own.file("TAMBRIX.INI"); }

    // Runs Main with the fake registry, or with an IniRegistry on registryFile when given.
    bool runMain(const QString& registryFile = QString())
    {
        IRegistry* registry = &fake.registry;
        if (!registryFile.isEmpty()) {
            iniRegistry = std::make_unique<IniRegistry>(registryFile.toStdString());
            registry = iniRegistry.get();
        }
        services = std::make_unique<Services>(
            Services { fake.dialogs, fake.clipboard, fake.launcher, fake.programEnd, *registry });
        module = std::make_unique<modRudimix>(*services);
        module->ownFolder = own.path();
        module->showEditor = [this] { ++editorShown; };
        return module->Main();
    }

    void expectEndedWith(const QString& title, const QString& text, MsgIcon icon)
    {
        ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
        EXPECT_EQ(fake.dialogs.boxes[0].title, title);
        EXPECT_EQ(fake.dialogs.boxes[0].text, text);
        EXPECT_EQ(fake.dialogs.boxes[0].icon, icon);
        EXPECT_EQ(fake.dialogs.boxes[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(fake.programEnd.calls, 1);
        EXPECT_EQ(editorShown, 0);
    }

    void expectStarted(int maxNotes)
    {
        EXPECT_TRUE(fake.dialogs.boxes.empty());
        EXPECT_EQ(fake.programEnd.calls, 0);
        EXPECT_EQ(editorShown, 1);
        EXPECT_EQ(module->giMaxNotes, maxNotes);
    }
};

} // namespace

TEST_F(StartUp, NoSettingsFileShowsTheWarningAndEnds)
{
    EXPECT_FALSE(runMain());
    expectEndedWith(kInitTitle, kInitText, MsgIcon::Warning);
    EXPECT_EQ(module->gsHostFolder, own.path());
    EXPECT_EQ(module->gsSettingsFile, own.path() + "/TAMBRIX.INI");
    EXPECT_FALSE(QFile::exists(settingsFile())); // nothing written
}

TEST_F(StartUp, MissingKeyIsAddedAndEveryOtherByteStays)
{
    struct Case {
        const char* what;
        QByteArray before;
        QByteArray after;
    };
    const Case cases[] = {
        { "CR LF with [program]", "; Tambrix\r\n[program]\r\nPath=C:\\x\r\n\r\n[other]\r\nA=1",
            "; Tambrix\r\n[program]\r\nPath=C:\\x\r\nMaxRudimixNotes=32\r\n\r\n[other]\r\nA=1" },
        { "LF with [program]", "[Program]\nPath=/x\n[other]\nA=1\n",
            "[Program]\nPath=/x\nMaxRudimixNotes=32\n[other]\nA=1\n" },
        { "CR LF without [program]", "[other]\r\nA=1\r\n",
            "[other]\r\nA=1\r\n[program]\r\nMaxRudimixNotes=32\r\n" },
        { "LF without [program], no last line end", "; c\n[other]\nA=1",
            "; c\n[other]\nA=1\n[program]\nMaxRudimixNotes=32\n" },
        { "empty file", "", "[program]\r\nMaxRudimixNotes=32\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fake.dialogs.boxes.clear();
        editorShown = 0;
        TempFolder::write(settingsFile(), c.before);
        EXPECT_TRUE(runMain());
        expectStarted(32);
        EXPECT_EQ(TempFolder::read(settingsFile()), c.after);
    }
}

TEST_F(StartUp, BadMaximumShowsTheBoxAndEnds)
{
    for (const char* value :
        { "31", "65", "abc", "", "99999", "-32", "32768", "1e9", "0", "64.6", "#$%*&$#$%#x" }) {
        SCOPED_TRACE(value);
        fake.dialogs.boxes.clear();
        fake.programEnd.calls = 0;
        const QByteArray text = QByteArray("[program]\r\nMaxRudimixNotes=") + value + "\r\n";
        TempFolder::write(settingsFile(), text);
        EXPECT_FALSE(runMain());
        expectEndedWith(kInvalidTitle, kInvalidText, MsgIcon::Information);
        EXPECT_EQ(TempFolder::read(settingsFile()), text); // the bad value stays
    }
}

TEST_F(StartUp, GoodMaximumStartsTheEditor)
{
    const std::pair<const char*, int> cases[] = {
        { "64", 64 }, { "40abc", 40 }, { "32", 32 }, { " 48 ", 48 }, { "\"50\"", 50 },
        { "32.5", 32 }, { "33.5", 34 }, { "63.5", 64 }, { "31.6", 32 }, { "64.5x", 64 },
        { "#$%*&$#$%#", 32 }, // the stored marker counts as missing
    };
    for (const auto& [value, expected] : cases) {
        SCOPED_TRACE(value);
        fake.dialogs.boxes.clear();
        editorShown = 0;
        TempFolder::write(settingsFile(), QByteArray("[program]\nMaxRudimixNotes=") + value + "\n");
        EXPECT_TRUE(runMain());
        expectStarted(expected);
    }
    EXPECT_EQ(TempFolder::read(settingsFile()), QByteArray("[program]\nMaxRudimixNotes=32\n"));
}

TEST_F(StartUp, RegistryValueNamesTheHostFolder)
{
    TempFolder registryFolder;
    TempFolder host;
    TempFolder::write(host.file("TAMBRIX.INI"), "[program]\r\nMaxRudimixNotes=40\r\n");
    TempFolder::write(settingsFile(), "[program]\r\nMaxRudimixNotes=50\r\n");
    const QString registry = registryFolder.file("HKEY_CURRENT_USER.ini");

    for (const QString& value : { host.path(), host.path() + "/" }) {
        SCOPED_TRACE(value.toStdString());
        editorShown = 0;
        TempFolder::write(registry,
            "[Software\\Quillmoor Tambrix]\r\nExeIniLocn=" + value.toLocal8Bit() + "\r\n");
        EXPECT_TRUE(runMain(registry));
        expectStarted(40);
        EXPECT_EQ(module->gsHostFolder, value); // as found
        EXPECT_EQ(module->gsSettingsFile, host.path() + "/TAMBRIX.INI");
    }
}

TEST_F(StartUp, RegistryFolderWithoutSettingsDoesNotFallBack)
{
    TempFolder registryFolder;
    TempFolder host;
    TempFolder::write(settingsFile(), "[program]\r\nMaxRudimixNotes=50\r\n");
    const QString registry = registryFolder.file("HKEY_CURRENT_USER.ini");
    TempFolder::write(
        registry, "[software\\Quillmoor Tambrix]\nExeIniLocn=" + host.path().toLocal8Bit() + "\n");
    EXPECT_FALSE(runMain(registry));
    expectEndedWith(kInitTitle, kInitText, MsgIcon::Warning);
    EXPECT_EQ(module->gsSettingsFile, host.path() + "/TAMBRIX.INI");
}

TEST_F(StartUp, UnusableRegistryValueMeansTheOwnFolder)
{
    TempFolder registryFolder;
    TempFolder::write(settingsFile(), "[program]\r\nMaxRudimixNotes=50\r\n");
    const QString registry = registryFolder.file("HKEY_CURRENT_USER.ini");
    const QByteArray tooLong = "/" + QByteArray(255, 'x');
    for (const QByteArray& content : { QByteArray("[software\\Quillmoor Tambrix]\nExeIniLocn=\n"),
             QByteArray("[software\\Quillmoor Tambrix]\nExeIniLocn=" + tooLong + "\n"),
             QByteArray("[software\\Quillmoor Tambrix]\nOther=/x\n"), QByteArray("[other]\n") }) {
        SCOPED_TRACE(content.toStdString());
        editorShown = 0;
        TempFolder::write(registry, content);
        EXPECT_TRUE(runMain(registry));
        expectStarted(50);
        EXPECT_EQ(module->gsHostFolder, own.path());
    }
    // No registry file at all.
    editorShown = 0;
    EXPECT_TRUE(runMain(registryFolder.file("missing.ini")));
    expectStarted(50);
    EXPECT_EQ(module->gsHostFolder, own.path());
}

TEST_F(StartUp, SettingsFileThatIsNoPlainFileMeansInitialize)
{
    const QByteArray name = settingsFile().toLocal8Bit();
    for (const std::string kind : { "fifo", "folder", "over 64 MiB" }) {
        SCOPED_TRACE(kind);
        fake.dialogs.boxes.clear();
        fake.programEnd.calls = 0;
        ::unlink(name.constData());
        ::rmdir(name.constData());
        if (kind == "over 64 MiB")
            TempFolder::write(settingsFile(), "[program]\nMaxRudimixNotes=48\n");
        const int made = kind == "fifo" ? ::mkfifo(name.constData(), 0644)
            : kind == "folder"          ? ::mkdir(name.constData(), 0755)
                                        : ::truncate(name.constData(), (off_t(64) << 20) + 1);
        ASSERT_EQ(made, 0);
        EXPECT_FALSE(runMain());
        expectEndedWith(kInitTitle, kInitText, MsgIcon::Warning);
    }
}

TEST_F(StartUp, RegistryFileThatIsNoPlainFileMeansTheOwnFolder)
{
    TempFolder registryFolder;
    TempFolder::write(settingsFile(), "[program]\r\nMaxRudimixNotes=50\r\n");
    const QString registry = registryFolder.file("HKEY_CURRENT_USER.ini");
    ASSERT_EQ(::mkfifo(registry.toLocal8Bit().constData(), 0644), 0);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(runMain(registry));
    const std::string said = testing::internal::GetCapturedStderr();
    expectStarted(50);
    EXPECT_EQ(module->gsHostFolder, own.path());
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

TEST_F(StartUp, KeyWithTrailingBackslashAndRelativeFolderAreFound)
{
    TempFolder registryFolder;
    TempFolder work;
    ASSERT_TRUE(QDir(work.path()).mkpath("t/host"));
    TempFolder::write(work.file("t/host/TAMBRIX.INI"), "[program]\r\nMaxRudimixNotes=40\r\n");
    TempFolder::write(settingsFile(), "[program]\r\nMaxRudimixNotes=50\r\n");
    const QString registry = registryFolder.file("HKEY_CURRENT_USER.ini");
    TempFolder::write(registry, "[software\\Quillmoor Tambrix\\]\r\nExeIniLocn=t/host\r\n");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    const bool started = runMain(registry);
    QDir::setCurrent(before);
    EXPECT_TRUE(started);
    expectStarted(40);
    EXPECT_EQ(module->gsHostFolder, QDir(work.path()).canonicalPath() + "/t/host");
    EXPECT_EQ(module->gsSettingsFile, module->gsHostFolder + "/TAMBRIX.INI");
}
