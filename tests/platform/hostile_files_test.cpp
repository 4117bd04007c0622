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
#include <tuple>
#include <unistd.h>

// Settings and registry files that are not plain files, that are shared, or that come in
// another encoding.

using namespace std::string_literals;

namespace {

std::string bytesOf(const std::string& path)
{
    return TempFolder::read(QString::fromStdString(path)).toStdString();
}

// What must not change when a file is left alone or written in place.
std::tuple<ino_t, uid_t, mode_t, off_t> identity(const std::string& path, bool withSize)
{
    struct stat st { };
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return { st.st_ino, st.st_uid, st.st_mode, withSize ? st.st_size : 0 };
}

} // namespace

TEST(HostileFiles, OnlyRegularFilesAreUsedAndSharedOnesAreWrittenInPlace)
{
    for (const std::string kind : { "fifo", "folder", "link to /dev/zero", "over 64 MiB",
             "hard link", "read-only folder", "other user", "link to a device" }) {
        SCOPED_TRACE(kind);
        TempFolder folder;
        const std::string path = folder.file("TAMBRIX.INI").toStdString(), other = path + ".2";
        const char* name = path.c_str();
        const QByteArray folderName = folder.path().toLocal8Bit();
        TempFolder::write(folder.file("TAMBRIX.INI"), "; shared\n[program]\nA=1\n");
        if ((kind == "link to a device" || kind == "other user") && ::geteuid() != 0)
            GTEST_SKIP() << "a device node or another user's file (the last two cases) needs root";
        const int made = kind == "fifo"   ? ::unlink(name) + ::mkfifo(name, 0644)
            : kind == "folder"            ? ::unlink(name) + ::mkdir(name, 0755)
            : kind == "link to /dev/zero" ? ::unlink(name) + ::symlink("/dev/zero", name)
            : kind == "over 64 MiB"       ? ::truncate(name, (off_t(64) << 20) + 1)
            : kind == "hard link"         ? ::link(name, other.c_str())
            : kind == "read-only folder"  ? ::chmod(folderName.constData(), 0555)
            : kind == "other user"        ? ::chown(name, 65534, 65534)
                                          : ::unlink(name) // to a null device, which must stay one
                + ::mknod(other.c_str(), S_IFCHR | 0666, ::makedev(1, 3))
                + ::symlink(other.c_str(), name);
        ASSERT_EQ(made, 0);
        const bool shared
            = kind == "hard link" || kind == "read-only folder" || kind == "other user";
        const auto before = identity(path, !shared);
        std::string error;
        const bool written = ini::writeString(path, "program", "MaxRudimixNotes", "48", &error);
        ::chmod(folderName.constData(), 0700);
        EXPECT_EQ(identity(path, !shared), before); // never replaced
        if (shared) {
            EXPECT_TRUE(written) << error;
            const std::string expected = "; shared\n[program]\nA=1\nMaxRudimixNotes=48\n";
            EXPECT_EQ(bytesOf(path), expected);
            EXPECT_EQ(bytesOf(other), kind == "hard link" ? expected : "");
            continue;
        }
        EXPECT_FALSE(written || error.empty()) << "refused, with a reason";
        EXPECT_EQ(ini::readString(path, "program", "A", "#"), "#");
        // The registry stand-in on such a file has no keys and says why, once.
        HKEY key = 0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(IniRegistry(path).RegOpenKeyEx(HKEY_CURRENT_USER, "program", 0, 0xF0063, &key),
            ERROR_FILE_NOT_FOUND);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find(path), std::string::npos) << said;
    }
}

TEST(HostileFiles, NoRoomForAnInPlaceWriteLeavesTheOldContentWhole)
{
    TempFolder folder;
    const std::string file = folder.file("TAMBRIX.INI").toStdString();
    const std::string before = "[program]\r\nMaxRudimixNotes=40\r\n";
    TempFolder::write(folder.file("TAMBRIX.INI"), QByteArray::fromStdString(before));
    ASSERT_EQ(::link(file.c_str(), (file + ".2").c_str()), 0);
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit small { before.size(), old.rlim_max }; // the file may not grow
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = ini::writeString(file, "program", "MaxRudimixNotes", "40000", &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok || error.empty()) << "refused, with a reason";
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
    // What, the file before, what reading finds, the file after writing 64 and then "\xE9"
    // (e acute) into key E.
    const std::tuple<const char*, std::string, const char*, std::string> cases[] = {
        { "UTF-8 mark", "\xEF\xBB\xBF[program]\r\nMaxRudimixNotes=48\r\nE=\xC3\xA9\r\n", "48",
            "\xEF\xBB\xBF[program]\r\nMaxRudimixNotes=64\r\nE=\xC3\xA9\r\n" },
        { "CR alone", "[program]\rMaxRudimixNotes=48\r[x]\r", "48",
            "[program]\rMaxRudimixNotes=64\rE=\xE9\r[x]\r" },
        { "UTF-16 LE", utf16("[program]\r\nMaxRudimixNotes=48\r\n"), "48",
            utf16("[program]\r\nMaxRudimixNotes=64\r\nE=") + "\xE9\0\r\0\n\0"s },
        { "UTF-16 LE, key missing", utf16("[x]\r\n"), "#",
            utf16("[x]\r\n[program]\r\nMaxRudimixNotes=64\r\nE=") + "\xE9\0\r\0\n\0"s },
    };
    for (const auto& [what, before, stored, after] : cases) {
        SCOPED_TRACE(what);
        TempFolder folder;
        const std::string file = folder.file("TAMBRIX.INI").toStdString();
        TempFolder::write(folder.file("TAMBRIX.INI"), QByteArray::fromStdString(before));
        EXPECT_EQ(ini::readString(file, "program", "MaxRudimixNotes", "#"), stored);
        EXPECT_TRUE(ini::writeString(file, "program", "MaxRudimixNotes", "64"));
        EXPECT_TRUE(ini::writeString(file, "Program", "E", "\xE9"));
        EXPECT_EQ(bytesOf(file), after);
        EXPECT_EQ(ini::readString(file, "program", "E", "#"), "\xE9");
    }
}
