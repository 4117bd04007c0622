#include "fakes.h"
#include "modrudimix.h"
#include "tempdir.h"

#include <QDir>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The module's general routines: paths, text, files, the settings store and the registry.

namespace {

const QString kMarker = QStringLiteral("#$%*&$#$%#");

QByteArray bytes(const char* text)
{
    return QByteArray(text);
}

// Runs check in a child process as an ordinary user (nobody, when the tests run as root) and
// returns its answer (1 or 0; 3 when the user could not be switched); root would open any file
// whatever its mode.
int asOrdinaryUser(const std::function<bool()>& check)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        ::_exit(check() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(AddBackslash, WindowsRule)
{
    const std::pair<const char*, const char*> cases[] = {
        { "D:\\Seq", "D:\\Seq\\" },
        { "D:\\Seq\\", "D:\\Seq\\" },
        { "D:", "D:" },
        { "", "" },
        { "Seq", "Seq\\" },
        { "D:\\Seq/", "D:\\Seq/\\" },
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(
            modRudimix::addBackslashWindows(QString::fromLatin1(in)), QString::fromLatin1(out))
            << in;
    // A folder with or without its backslash gives the same settings path.
    EXPECT_EQ(modRudimix::addBackslashWindows("D:\\Seq") + "TAMBRIX.INI", "D:\\Seq\\TAMBRIX.INI");
    EXPECT_EQ(modRudimix::addBackslashWindows("D:") + "TAMBRIX.INI", "D:TAMBRIX.INI");
}

TEST(AddBackslash, PosixRuleIsTheOneInUse)
{
    const std::pair<const char*, const char*> cases[] = {
        { "/a", "/a/" },
        { "/a/", "/a/" },
        { "/", "/" },
        { "", "" },
        { "a\\", "a\\/" },
        { "D:", "D:/" },
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(modRudimix::addBackslashPosix(QString::fromLatin1(in)), QString::fromLatin1(out))
            << in;
        EXPECT_EQ(modRudimix::gfnAddBackslash(QString::fromLatin1(in)), QString::fromLatin1(out))
            << in;
    }
    EXPECT_EQ(modRudimix::gfnAddBackslash(QString()), QString(""));
}

TEST(ReplaceAll, ReplacesEveryOccurrenceOnce)
{
    struct Case {
        const char* text;
        const char* search;
        const char* replacement;
        const char* expected;
    };
    const Case cases[] = {
        { "a<BR>b<BR>", "<BR>", "\r\n", "a\r\nb\r\n" },
        { "aa", "a", "aa", "aaaa" }, // inserted text is not searched again
        { "abc", "", "x", "abc" },
        { "", "a", "b", "" },
        { "aaa", "aa", "b", "ba" },
        { "<br><BR>", "<BR>", "|", "<br>|" }, // case-sensitive
        { "xyx", "x", "", "y" },
        { "abab", "ab", "ba", "baba" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(modRudimix::gfnReplaceAll(c.text, c.search, c.replacement), QString(c.expected))
            << c.text << " / " << c.search;
    EXPECT_EQ(modRudimix::gfnReplaceAll(QString(), "a", "b"), QString(""));
}

TEST(FileExists, FilesOnly)
{
    TempFolder folder;
    TempFolder::write(folder.file("TAMBRIX.INI"), "");
    ASSERT_EQ(::mkfifo(folder.file("pipe").toLocal8Bit().constData(), 0644), 0);

    EXPECT_TRUE(modRudimix::gfnFileExists(folder.file("TAMBRIX.INI")));
    EXPECT_FALSE(modRudimix::gfnFileExists(folder.file("missing.ini")));
    EXPECT_FALSE(modRudimix::gfnFileExists(folder.file("no/such/folder.ini")));
    EXPECT_FALSE(modRudimix::gfnFileExists(folder.path()));
    EXPECT_FALSE(modRudimix::gfnFileExists(QString()));
    EXPECT_FALSE(modRudimix::gfnFileExists(""));
    // A named pipe without a writer does not hang the test.
    EXPECT_TRUE(modRudimix::gfnFileExists(folder.file("pipe")));
}

TEST(FileExists, ProtectedFileCountsAsPresentButAProtectedFolderDoesNot)
{
    TempFolder folder;
    const QString file = folder.file("TAMBRIX.INI");
    const QString inner = folder.file("inner");
    TempFolder::write(file, "[program]\n");
    ASSERT_TRUE(QDir().mkdir(inner));
    ASSERT_EQ(::chmod(folder.path().toLocal8Bit().constData(), 0755), 0);
    ASSERT_EQ(::chmod(file.toLocal8Bit().constData(), 0000), 0);
    ASSERT_EQ(::chmod(inner.toLocal8Bit().constData(), 0000), 0);
    const QByteArray folderName = folder.path().toLocal8Bit();
    const int reach = asOrdinaryUser([&] { return ::access(folderName.constData(), X_OK) == 0; });
    if (reach != 1) {
        ::chmod(inner.toLocal8Bit().constData(), 0700);
        GTEST_SKIP() << "an ordinary user cannot reach the temporary folder here";
    }

    EXPECT_EQ(asOrdinaryUser([&] { return modRudimix::gfnFileExists(file); }), 1);
    EXPECT_EQ(asOrdinaryUser([&] { return modRudimix::gfnFileExists(inner); }), 0);
    EXPECT_EQ(asOrdinaryUser([&] { return modRudimix::gfnFileExists(folder.file("none")); }), 0);
    ::chmod(inner.toLocal8Bit().constData(), 0700);
}

class SettingsStore : public ::testing::Test {
protected:
    FakeServices fake;
    modRudimix module { fake.services };
    TempFolder folder;
    QString file = folder.file("TAMBRIX.INI");

    QString get(const QString& key, const QString& defaultValue = QStringLiteral("32"))
    {
        return module.gfnINIgetBasic(QStringLiteral("program"), key, defaultValue, file);
    }
};

TEST_F(SettingsStore, ReadsPresentAndEmptyValues)
{
    TempFolder::write(file, "[program]\r\nMaxRudimixNotes=48\r\nEmpty=\r\nQuoted= \"x\" \r\n");
    EXPECT_EQ(get("MaxRudimixNotes"), "48");
    EXPECT_EQ(get("maxrudimixnotes"), "48");
    const QString empty = get("Empty");
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isNull());
    EXPECT_EQ(get("Quoted"), "x");
    EXPECT_EQ(TempFolder::read(file),
        bytes("[program]\r\nMaxRudimixNotes=48\r\nEmpty=\r\nQuoted= \"x\" \r\n"));
    EXPECT_TRUE(fake.dialogs.boxes.empty());
}

TEST_F(SettingsStore, MissingKeyIsWrittenWithTheDefault)
{
    TempFolder::write(file, "[program]\nA=1\n");
    EXPECT_EQ(get("MaxRudimixNotes"), "32");
    EXPECT_EQ(TempFolder::read(file), bytes("[program]\nA=1\nMaxRudimixNotes=32\n"));
    // No default at all: the empty text is written and returned.
    EXPECT_EQ(get("Other", QString()), "");
    EXPECT_EQ(TempFolder::read(file), bytes("[program]\nA=1\nMaxRudimixNotes=32\nOther=\n"));
    EXPECT_TRUE(fake.dialogs.boxes.empty());
}

TEST_F(SettingsStore, StoredMarkerCountsAsMissingAndIsOverwritten)
{
    TempFolder::write(file, "[program]\r\nMaxRudimixNotes=#$%*&$#$%#\r\nB=2\r\n");
    EXPECT_EQ(get("MaxRudimixNotes"), "32");
    EXPECT_EQ(TempFolder::read(file), bytes("[program]\r\nMaxRudimixNotes=32\r\nB=2\r\n"));
    // The comparison is exact: a longer text that begins with the marker is a value.
    TempFolder::write(file, "[program]\r\nMaxRudimixNotes=#$%*&$#$%#x\r\n");
    EXPECT_EQ(get("MaxRudimixNotes"), kMarker + "x");
}

TEST_F(SettingsStore, MissingFileIsCreated)
{
    EXPECT_EQ(get("MaxRudimixNotes"), "32");
    EXPECT_EQ(TempFolder::read(file), bytes("[program]\r\nMaxRudimixNotes=32\r\n"));
}

TEST_F(SettingsStore, ReadsAtMost1023Characters)
{
    const QByteArray longValue(1100, 'z');
    TempFolder::write(file, "[program]\nLong=" + longValue + "\n");
    EXPECT_EQ(get("Long"), QString(1023, u'z'));
}

TEST_F(SettingsStore, FailedWritesAreSilentAndLeaveTheFile)
{
    TempFolder::write(file, "[program]\nA=1\n");
    ASSERT_EQ(::chmod(file.toLocal8Bit().constData(), 0444), 0);
    EXPECT_EQ(get("MaxRudimixNotes"), "32");
    module.gsSettingsFile = file;
    QString error;
    EXPECT_EQ(module.gfnINIput("program", "MaxRudimixNotes", "40", &error), 0);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(module.gfnINIputBasic("program", "A", "2", file));
    EXPECT_EQ(TempFolder::read(file), bytes("[program]\nA=1\n"));
    EXPECT_TRUE(fake.dialogs.boxes.empty());
}

TEST_F(SettingsStore, PutWritesIntoTheSettingsFile)
{
    TempFolder::write(file, "; kept\n[program]\nMaxRudimixNotes=32\n");
    module.gsSettingsFile = file;
    EXPECT_EQ(module.gfnINIput("program", "MaxRudimixNotes", "64"), -1);
    EXPECT_EQ(TempFolder::read(file), bytes("; kept\n[program]\nMaxRudimixNotes=64\n"));
    // Text outside ASCII goes into the file in the 8-bit set.
    EXPECT_TRUE(module.gfnINIputBasic("program", "Name", QString::fromUtf16(u"caf\u00E9"), file));
    EXPECT_EQ(
        TempFolder::read(file), bytes("; kept\n[program]\nMaxRudimixNotes=64\nName=caf\xE9\n"));
    EXPECT_EQ(get("Name"), QString::fromUtf16(u"caf\u00E9"));
}
