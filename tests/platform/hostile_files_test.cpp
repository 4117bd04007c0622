#include "inifile.h"
#include "registry.h"
#include "tempdir.h"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// Settings and registry files that are not plain files, that are shared, or that come in
// another encoding.

using namespace std::string_literals;

namespace {

std::string bytesOf(const std::string& path)
{
    return TempFolder::read(QString::fromStdString(path)).toStdString();
}

struct stat statOf(const std::string& path)
{
    struct stat st { };
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

} // namespace

TEST(HostileFiles, OnlyRegularFilesAreReadOrWritten)
{
    for (const std::string kind :
        { "fifo", "folder", "link to /dev/zero", "over 64 MiB", "link to a device" }) {
        SCOPED_TRACE(kind);
        TempFolder folder;
        const std::string path = folder.file("TAMBRIX.INI").toStdString();
        const char* name = path.c_str();
        if (kind == "link to a device" && ::geteuid() != 0)
            GTEST_SKIP() << "making a device node (the last case) needs root";
        const std::string node = path + ".node"; // a null device, which must stay one
        TempFolder::write(QString::fromStdString(path), "[program]\nMaxRudimixNotes=48\n");
        const int made = kind == "fifo"   ? ::unlink(name) + ::mkfifo(name, 0644)
            : kind == "folder"            ? ::unlink(name) + ::mkdir(name, 0755)
            : kind == "link to /dev/zero" ? ::unlink(name) + ::symlink("/dev/zero", name)
            : kind == "over 64 MiB"
            ? ::truncate(name, (off_t(64) << 20) + 1)
            : ::unlink(name) + ::mknod(node.c_str(), S_IFCHR | 0666, ::makedev(1, 3))
                + ::symlink(node.c_str(), name);
        ASSERT_EQ(made, 0);
        const auto before = statOf(path);
        EXPECT_EQ(ini::readString(path, "program", "MaxRudimixNotes", "#"), "#");
        std::string error;
        EXPECT_FALSE(ini::writeString(path, "program", "MaxRudimixNotes", "32", &error));
        EXPECT_FALSE(error.empty());
        const auto after = statOf(path);
        EXPECT_EQ(after.st_ino, before.st_ino); // never replaced
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_size, before.st_size);

        // The registry stand-in on such a file has no keys and says why, once.
        IniRegistry registry(path);
        HKEY key = 0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(registry.RegOpenKeyEx(HKEY_CURRENT_USER, "program", 0, 0xF0063, &key),
            ERROR_FILE_NOT_FOUND);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find(path), std::string::npos) << said;
    }
}

TEST(HostileFiles, SharedFilesAreWrittenInPlace)
{
    for (const std::string kind : { "hard link", "read-only folder", "other user" }) {
        SCOPED_TRACE(kind);
        TempFolder folder;
        const std::string file = folder.file("TAMBRIX.INI").toStdString();
        const std::string second = folder.file("second.ini").toStdString();
        const QByteArray folderName = folder.path().toLocal8Bit();
        TempFolder::write(QString::fromStdString(file), "; shared\n[program]\nA=1\n");
        if (kind == "other user" && ::geteuid() != 0)
            GTEST_SKIP() << "giving a file to another user (the last case) needs root";
        const int made = kind == "hard link" ? ::link(file.c_str(), second.c_str())
            : kind == "other user"           ? ::chown(file.c_str(), 65534, 65534)
                                             : ::chmod(folderName.constData(), 0555);
        ASSERT_EQ(made, 0);
        const auto before = statOf(file);

        std::string error;
        const bool ok = ini::writeString(file, "program", "MaxRudimixNotes", "48", &error);
        ::chmod(folderName.constData(), 0700);
        EXPECT_TRUE(ok) << error;
        const std::string expected = "; shared\n[program]\nA=1\nMaxRudimixNotes=48\n";
        EXPECT_EQ(bytesOf(file), expected);
        EXPECT_EQ(bytesOf(second), kind == "hard link" ? expected : "");
        const auto after = statOf(file);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_mode, before.st_mode);
    }
}

TEST(HostileFiles, NoRoomForAnInPlaceWriteLeavesTheOldContentWhole)
{
    TempFolder folder;
    const std::string file = folder.file("TAMBRIX.INI").toStdString();
    const std::string before = "[program]\r\nMaxRudimixNotes=40\r\n";
    TempFolder::write(QString::fromStdString(file), QByteArray::fromStdString(before));
    ASSERT_EQ(::link(file.c_str(), (file + ".2").c_str()), 0);

    // The file may not grow beyond its present size: the reservation fails.
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = before.size();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = ini::writeString(file, "program", "MaxRudimixNotes", "40000", &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(bytesOf(file), before);
}

TEST(HostileFiles, EncodingsAndLineEndsAreReadAndKept)
{
    const auto utf16 = [](std::string_view ascii) {
        std::string out = "\xFF\xFE";
        for (char c : ascii)
            out.append({ c, '\0' });
        return out;
    };
    struct Case {
        const char* what;
        std::string before;
        const char* stored; // what reading finds
        std::string after; // after writing 64, and then "\xE9" (e acute) into key E
    };
    const Case cases[] = {
        { "UTF-8 mark", "\xEF\xBB\xBF[program]\r\nMaxRudimixNotes=48\r\nE=\xC3\xA9\r\n", "48",
            "\xEF\xBB\xBF[program]\r\nMaxRudimixNotes=64\r\nE=\xC3\xA9\r\n" },
        { "CR alone", "[program]\rMaxRudimixNotes=48\r[x]\r", "48",
            "[program]\rMaxRudimixNotes=64\rE=\xE9\r[x]\r" },
        { "UTF-16 LE", utf16("[program]\r\nMaxRudimixNotes=48\r\n"), "48",
            utf16("[program]\r\nMaxRudimixNotes=64\r\nE=") + "\xE9\0\r\0\n\0"s },
        { "UTF-16 LE, key missing", utf16("[x]\r\n"), "#",
            utf16("[x]\r\n[program]\r\nMaxRudimixNotes=64\r\nE=") + "\xE9\0\r\0\n\0"s },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder folder;
        const std::string file = folder.file("TAMBRIX.INI").toStdString();
        TempFolder::write(QString::fromStdString(file), QByteArray::fromStdString(c.before));
        EXPECT_EQ(ini::readString(file, "program", "MaxRudimixNotes", "#"), c.stored);
        EXPECT_TRUE(ini::writeString(file, "program", "MaxRudimixNotes", "64"));
        EXPECT_TRUE(ini::writeString(file, "Program", "E", "\xE9"));
        EXPECT_EQ(bytesOf(file), c.after);
        EXPECT_EQ(ini::readString(file, "program", "E", "#"), "\xE9");
    }
}
