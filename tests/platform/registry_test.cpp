#include "registry.h"
#include "tempdir.h"

#include <QDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

// The registry stand-in: HKEY_CURRENT_USER kept in an INI file.

namespace {

const char* const kKey = "software\\Quillmoor Tambrix\\";

// Sets an environment variable for one test and puts the old value back.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value)
        : mName(name)
    {
        if (const char* old = std::getenv(name))
            mOld = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvGuard()
    {
        if (mOld)
            ::setenv(mName, mOld->c_str(), 1);
        else
            ::unsetenv(mName);
    }

private:
    const char* mName;
    std::optional<std::string> mOld;
};

struct Query {
    long status = -1;
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    std::string text;
};

// Opens key, queries value into a buffer of bufferSize bytes and closes the key again.
Query query(IRegistry& registry, const std::string& key, const std::string& value,
    std::uint32_t bufferSize = 256)
{
    Query q;
    HKEY handle = 0;
    const long opened = registry.RegOpenKeyEx(HKEY_CURRENT_USER, key, 0, 0xF0063, &handle);
    if (opened != ERROR_SUCCESS) {
        q.status = opened;
        return q;
    }
    std::string buffer(bufferSize, '\0');
    q.size = bufferSize;
    q.status = registry.RegQueryValueEx(
        handle, value, &q.type, reinterpret_cast<unsigned char*>(buffer.data()), &q.size);
    if (q.status == ERROR_SUCCESS)
        q.text = buffer.substr(0, q.size > 0 ? q.size - 1 : 0);
    EXPECT_EQ(registry.RegCloseKey(handle), ERROR_SUCCESS);
    return q;
}

} // namespace

TEST(IniRegistryFile, UsesXdgConfigHomeElseHome)
{
    {
        EnvGuard xdg("XDG_CONFIG_HOME", "/xdg/conf");
        EnvGuard home("HOME", "/home/someone");
        EXPECT_EQ(IniRegistry::defaultFile(), "/xdg/conf/winreg/HKEY_CURRENT_USER.ini");
    }
    {
        EnvGuard xdg("XDG_CONFIG_HOME", nullptr);
        EnvGuard home("HOME", "/home/someone");
        EXPECT_EQ(IniRegistry::defaultFile(), "/home/someone/.config/winreg/HKEY_CURRENT_USER.ini");
    }
    {
        EnvGuard xdg("XDG_CONFIG_HOME", "");
        EnvGuard home("HOME", "/home/someone");
        EXPECT_EQ(IniRegistry::defaultFile(), "/home/someone/.config/winreg/HKEY_CURRENT_USER.ini");
    }
    {
        // A relative XDG_CONFIG_HOME is invalid and ignored.
        EnvGuard xdg("XDG_CONFIG_HOME", "relative/conf");
        EnvGuard home("HOME", "/home/someone");
        EXPECT_EQ(IniRegistry::defaultFile(), "/home/someone/.config/winreg/HKEY_CURRENT_USER.ini");
    }
    {
        // Without HOME the user's home folder comes from the user database.
        EnvGuard xdg("XDG_CONFIG_HOME", nullptr);
        EnvGuard home("HOME", nullptr);
        const auto file = IniRegistry::defaultFile();
        EXPECT_TRUE(file.is_absolute()) << file;
        EXPECT_EQ(file.filename(), "HKEY_CURRENT_USER.ini");
    }
}

TEST(IniRegistry, ReadsValuesWhateverTheCaseAndTrailingBackslash)
{
    TempFolder folder;
    const QString file = folder.file("HKEY_CURRENT_USER.ini");
    TempFolder::write(file,
        "[Software\\Other]\r\nExeIniLocn=/wrong\r\n"
        "[Software\\Quillmoor Tambrix]\r\nExeIniLocn=/opt/tambrix\r\nEmpty=\r\n");
    IniRegistry registry(file.toStdString());

    for (const char* key :
        { kKey, "software\\Quillmoor Tambrix", "SOFTWARE\\QUILLMOOR TAMBRIX\\" }) {
        const Query q = query(registry, key, "exeinilocn");
        EXPECT_EQ(q.status, ERROR_SUCCESS) << key;
        EXPECT_EQ(q.type, REG_SZ) << key;
        EXPECT_EQ(q.size, 13u) << key; // the text and its NUL
        EXPECT_EQ(q.text, "/opt/tambrix") << key;
    }

    const Query empty = query(registry, kKey, "Empty");
    EXPECT_EQ(empty.status, ERROR_SUCCESS);
    EXPECT_EQ(empty.size, 1u);
    EXPECT_EQ(empty.text, "");

    EXPECT_EQ(query(registry, kKey, "Missing").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query(registry, "software\\Nobody\\", "ExeIniLocn").status, ERROR_FILE_NOT_FOUND);
}

TEST(IniRegistry, MissingFileOrWrongRootOpensNothing)
{
    TempFolder folder;
    IniRegistry missing(folder.file("none.ini").toStdString());
    HKEY handle = 0;
    EXPECT_EQ(
        missing.RegOpenKeyEx(HKEY_CURRENT_USER, kKey, 0, 0xF0063, &handle), ERROR_FILE_NOT_FOUND);

    const QString file = folder.file("reg.ini");
    TempFolder::write(file, "[software\\Quillmoor Tambrix]\nExeIniLocn=/x\n");
    IniRegistry registry(file.toStdString());
    EXPECT_NE(registry.RegOpenKeyEx(0x80000002u, kKey, 0, 0xF0063, &handle), ERROR_SUCCESS);
}

TEST(IniRegistry, BufferSizeDecidesBetween255And256Bytes)
{
    TempFolder folder;
    const QString file = folder.file("reg.ini");
    const std::string fits(255, 'f');
    const std::string tooLong(256, 'g');
    TempFolder::write(file,
        QByteArray::fromStdString(
            "[software\\Quillmoor Tambrix]\nFits=" + fits + "\nTooLong=" + tooLong + "\n"));
    IniRegistry registry(file.toStdString());

    const Query a = query(registry, kKey, "Fits");
    EXPECT_EQ(a.status, ERROR_SUCCESS);
    EXPECT_EQ(a.size, 256u);
    EXPECT_EQ(a.text, fits);

    const Query b = query(registry, kKey, "TooLong");
    EXPECT_EQ(b.status, ERROR_MORE_DATA);
    EXPECT_EQ(b.size, 257u); // the size it would need
}

TEST(IniRegistry, ClosedHandlesAreInvalid)
{
    TempFolder folder;
    const QString file = folder.file("reg.ini");
    TempFolder::write(file, "[k]\nv=1\n");
    IniRegistry registry(file.toStdString());
    HKEY handle = 0;
    ASSERT_EQ(registry.RegOpenKeyEx(HKEY_CURRENT_USER, "k", 0, 0xF0063, &handle), ERROR_SUCCESS);
    ASSERT_EQ(registry.RegCloseKey(handle), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegCloseKey(handle), ERROR_INVALID_HANDLE);
    unsigned char data[8] = {};
    std::uint32_t size = sizeof data;
    std::uint32_t type = 0;
    EXPECT_EQ(registry.RegQueryValueEx(handle, "v", &type, data, &size), ERROR_INVALID_HANDLE);
}

TEST(IniRegistry, SetStringCreatesFolderAndFileAndKeepsOtherKeys)
{
    TempFolder folder;
    const QString file = folder.file("config/winreg/HKEY_CURRENT_USER.ini");
    IniRegistry registry(file.toStdString());

    std::string error;
    ASSERT_TRUE(registry.setString(kKey, "ExeIniLocn", "/opt/tambrix", &error)) << error;
    EXPECT_EQ(
        TempFolder::read(file), "[software\\Quillmoor Tambrix]\r\nExeIniLocn=/opt/tambrix\r\n");
    EXPECT_EQ(query(registry, kKey, "ExeIniLocn").text, "/opt/tambrix");

    ASSERT_TRUE(registry.setString("Software\\Quillmoor Tambrix", "EXEINILOCN", " /with blanks "));
    ASSERT_TRUE(registry.setString("software\\Other\\", "Name", "x"));
    EXPECT_EQ(TempFolder::read(file),
        "[software\\Quillmoor Tambrix]\r\nExeIniLocn=\" /with blanks \"\r\n"
        "[software\\Other]\r\nName=x\r\n");
    EXPECT_EQ(query(registry, kKey, "ExeIniLocn").text, " /with blanks ");
}

TEST(IniRegistry, SetStringFailsWhenTheFolderCannotBeMade)
{
    TempFolder folder;
    const QString blocker = folder.file("config");
    TempFolder::write(blocker, "a file where the folder should be");
    IniRegistry registry(folder.file("config/winreg/HKEY_CURRENT_USER.ini").toStdString());
    std::string error;
    EXPECT_FALSE(registry.setString(kKey, "ExeIniLocn", "/x", &error));
    EXPECT_FALSE(error.empty());
}
