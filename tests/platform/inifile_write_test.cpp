#include "inifile.h"
#include "tempdir.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// Writing: every byte outside the written value stays; failures leave the file as it was.

namespace {

std::string readBytes(const QString& path)
{
    return TempFolder::read(path).toStdString();
}

void writeBytes(const QString& path, const std::string& bytes)
{
    TempFolder::write(path, QByteArray::fromStdString(bytes));
}

mode_t modeOf(const QString& path)
{
    struct stat st { };
    EXPECT_EQ(::stat(path.toLocal8Bit().constData(), &st), 0);
    return st.st_mode & 07777;
}

// Every name in the folder, hidden ones included.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

struct WriteCase {
    const char* what;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
};

} // namespace

TEST(IniWrite, ChangesOnlyWhatItMust)
{
    const WriteCase cases[] = {
        { "replace in place, CR LF",
            "; host settings\r\n[program]\r\nA=1\r\nMaxRudimixNotes = 40\r\n\r\nB=2\r\n", "program",
            "MaxRudimixNotes", "32",
            "; host settings\r\n[program]\r\nA=1\r\nMaxRudimixNotes = 32\r\n\r\nB=2\r\n" },
        { "replace in place, LF", "[program]\nmaxrudimixnotes=\"40\"\n[x]\ny=1\n", "PROGRAM",
            "MaxRudimixNotes", "64", "[program]\nmaxrudimixnotes=64\n[x]\ny=1\n" },
        { "replace in the last line without end", "[a]\nk=1", "a", "k", "2", "[a]\nk=2" },
        { "missing key after the section's last entry", "[program]\nA=1\n\n; next\n[x]\nB=2\n",
            "program", "K", "v", "[program]\nA=1\nK=v\n\n; next\n[x]\nB=2\n" },
        { "missing key in an empty section", "[program]\r\n[x]\r\n", "program", "K", "v",
            "[program]\r\nK=v\r\n[x]\r\n" },
        { "missing key after a last line without end", "[program]\nA=1", "program", "K", "v",
            "[program]\nA=1\nK=v\n" },
        { "missing section at the end, CR LF", "[x]\r\nA=1\r\n", "program", "K", "v",
            "[x]\r\nA=1\r\n[program]\r\nK=v\r\n" },
        { "missing section after a last line without end", "[x]\nA=1", "program", "K", "v",
            "[x]\nA=1\n[program]\nK=v\n" },
        { "empty file becomes CR LF", "", "program", "K", "v", "[program]\r\nK=v\r\n" },
        { "duplicate sections: the first is written", "[a]\nk=1\n[b]\n[A]\nk=2\n", "a", "k", "9",
            "[a]\nk=9\n[b]\n[A]\nk=2\n" },
        { "duplicate sections: missing key goes to the first", "[a]\nx=1\n[A]\nk=2\n", "a", "k",
            "9", "[a]\nx=1\nk=9\n[A]\nk=2\n" },
        { "blanks of the name are dropped", "", " s ", " k ", "v", "[s]\r\nk=v\r\n" },
        { "value with blanks around it is quoted", "[a]\nk=1\n", "a", "k", " x ",
            "[a]\nk=\" x \"\n" },
        { "value in quotes of its own is quoted", "[a]\nk=1\n", "a", "k", "'q'",
            "[a]\nk=\"'q'\"\n" },
        { "empty value", "[a]\nk=1\n", "a", "k", "", "[a]\nk=\n" },
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const QString file = folder.file("TAMBRIX.INI");
        writeBytes(file, c.before);
        std::string error;
        EXPECT_TRUE(ini::writeString(file.toStdString(), c.section, c.key, c.value, &error))
            << c.what << ": " << error;
        EXPECT_EQ(readBytes(file), c.after) << c.what;
        EXPECT_EQ(ini::readString(file.toStdString(), c.section, c.key, "#"), c.value) << c.what;
        EXPECT_EQ(entries(folder.path()), QStringList { "TAMBRIX.INI" }) << c.what;
    }
}

TEST(IniWrite, CreatesAMissingFileWithCrLfAndTheUsualMode)
{
    TempFolder folder;
    const QString file = folder.file("TAMBRIX.INI");
    const mode_t oldMask = ::umask(027);
    const bool ok = ini::writeString(file.toStdString(), "program", "MaxRudimixNotes", "32");
    ::umask(oldMask);
    ASSERT_TRUE(ok);
    EXPECT_EQ(readBytes(file), "[program]\r\nMaxRudimixNotes=32\r\n");
    EXPECT_EQ(modeOf(file), mode_t(0640));
    EXPECT_EQ(entries(folder.path()), QStringList { "TAMBRIX.INI" });
}

TEST(IniWrite, KeepsTheFilesMode)
{
    TempFolder folder;
    const QString file = folder.file("TAMBRIX.INI");
    writeBytes(file, "[program]\nA=1\n");
    ASSERT_EQ(::chmod(file.toLocal8Bit().constData(), 0604), 0);
    ASSERT_TRUE(ini::writeString(file.toStdString(), "program", "A", "2"));
    EXPECT_EQ(readBytes(file), "[program]\nA=2\n");
    EXPECT_EQ(modeOf(file), mode_t(0604));
}

TEST(IniWrite, ReadOnlyFileIsAFailedWriteAndStaysAsItWas)
{
    TempFolder folder;
    const QString file = folder.file("TAMBRIX.INI");
    const std::string before = "[program]\r\nMaxRudimixNotes=40\r\n";
    writeBytes(file, before);
    ASSERT_EQ(::chmod(file.toLocal8Bit().constData(), 0444), 0);

    std::string error;
    EXPECT_FALSE(ini::writeString(file.toStdString(), "program", "MaxRudimixNotes", "32", &error));
    EXPECT_FALSE(ini::writeString(file.toStdString(), "other", "Key", "1"));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readBytes(file), before);
    EXPECT_EQ(modeOf(file), mode_t(0444));
    EXPECT_EQ(entries(folder.path()), QStringList { "TAMBRIX.INI" });
}

TEST(IniWrite, ReadOnlyFolderTakesNoNewFileButItsFileIsWrittenInPlace)
{
    TempFolder folder;
    const QString file = folder.file("TAMBRIX.INI");
    writeBytes(file, "[program]\nMaxRudimixNotes=40\n");
    const QByteArray folderName = folder.path().toLocal8Bit();
    ASSERT_EQ(::chmod(folderName.constData(), 0555), 0);

    const bool changed = ini::writeString(file.toStdString(), "program", "MaxRudimixNotes", "32");
    const bool created = ini::writeString(folder.file("NEW.INI").toStdString(), "a", "k", "v");
    const QStringList names = entries(folder.path());
    ::chmod(folderName.constData(), 0700);

    EXPECT_TRUE(changed);
    EXPECT_FALSE(created);
    EXPECT_EQ(readBytes(file), "[program]\nMaxRudimixNotes=32\n");
    EXPECT_EQ(names, QStringList { "TAMBRIX.INI" });
}

TEST(IniWrite, MissingFolderAndFolderAsFileAreFailedWrites)
{
    TempFolder folder;
    EXPECT_FALSE(ini::writeString(folder.file("no/such/TAMBRIX.INI").toStdString(), "a", "k", "v"));
    EXPECT_FALSE(ini::writeString(folder.path().toStdString(), "a", "k", "v"));
    EXPECT_TRUE(entries(folder.path()).isEmpty());
}

TEST(IniWrite, RefusesNamesAndValuesThatCouldNotBeReadBack)
{
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        { "", "k", "v" },
        { "  ", "k", "v" },
        { "a", "", "v" },
        { "a", "k", "line\r\nbreak" },
        { "a", "k", "line\nbreak" },
        { "a\nb", "k", "v" },
        { "a", "k\r", "v" },
        { "a]b", "k", "v" },
        { "a", "k=j", "v" },
        { "a", ";k", "v" },
        { "a", "[k", "v" },
    };
    TempFolder folder;
    const QString file = folder.file("TAMBRIX.INI");
    const std::string before = "[a]\r\nk=1\r\n";
    writeBytes(file, before);
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ini::writeString(file.toStdString(), c.section, c.key, c.value, &error))
            << c.section << "/" << c.key << "/" << c.value;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(readBytes(file), before);
}

TEST(IniWrite, WritesThroughASymbolicLink)
{
    TempFolder folder;
    const QString target = folder.file("real.ini");
    const QString link = folder.file("TAMBRIX.INI");
    writeBytes(target, "[program]\nA=1\n");
    ASSERT_TRUE(QFile::link(target, link));

    ASSERT_TRUE(ini::writeString(link.toStdString(), "program", "A", "2"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readBytes(target), "[program]\nA=2\n");
    EXPECT_EQ(entries(folder.path()), (QStringList { "TAMBRIX.INI", "real.ini" }));
}

TEST(IniWrite, RelativePathWritesInTheCurrentFolder)
{
    TempFolder folder;
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    const bool ok = ini::writeString("REL.INI", "a", "k", "v");
    QDir::setCurrent(before);
    EXPECT_TRUE(ok);
    EXPECT_EQ(readBytes(folder.file("REL.INI")), "[a]\r\nk=v\r\n");
}

// Removing a key takes its entries out of the first section of that name and nothing else, in
// the file's own encoding and line ends.
TEST(IniWrite, RemovedKeyLeavesEveryOtherByte)
{
    const struct {
        std::string before, after;
    } cases[] = {
        { "[s]\r\nk=1\r\nj=2\r\n", "[s]\r\nj=2\r\n" },
        { "[s]\nK = 1\n;k=c\nk=2\n[t]\nk=3\n", "[s]\n;k=c\n[t]\nk=3\n" },
        { "\xEF\xBB\xBF[s]\rk=1\rj=2", "\xEF\xBB\xBF[s]\rj=2" },
        { std::string("\xFF\xFE[\0s\0]\0\r\0\n\0k\0=\0"
                      "1\0\r\0\n\0",
              22),
            std::string("\xFF\xFE[\0s\0]\0\r\0\n\0", 12) },
        { "[t]\nk=1\n", "[t]\nk=1\n" },
    };
    TempFolder temp;
    const QString file = temp.file("x.ini");
    for (const auto& c : cases) {
        writeBytes(file, c.before);
        bool removed = false;
        std::string error;
        EXPECT_TRUE(ini::removeKey(file.toStdString(), "S", "k", &removed, &error)) << error;
        EXPECT_EQ(removed, c.before != c.after);
        EXPECT_EQ(readBytes(file), c.after);
    }
}
