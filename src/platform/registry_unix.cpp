#include "registry.h"

#include "inifile.h"
#include "regularfile.h"
#include "xdgfolders.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// Key paths are sections: a trailing backslash does not count.
std::string sectionOf(std::string path)
{
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

// Only a regular file of at most 64 MiB is read; anything else reads as no key at all. When
// complain is set, a file that is there but cannot be read says so in one line on stderr.
bool readAll(const std::filesystem::path& file, std::string& text, bool complain)
{
    const regular::Result result = regular::read(file, text);
    if (!result.ok() && result.status != regular::Status::Missing && complain)
        std::fprintf(
            stderr, "Registry file %s not read: %s\n", file.c_str(), result.reason().c_str());
    return result.ok();
}

} // namespace

IniRegistry::IniRegistry(std::filesystem::path file)
    : mFile(std::move(file))
{
}

std::unique_ptr<IRegistry> systemRegistry()
{
    return std::make_unique<IniRegistry>(IniRegistry::defaultFile());
}

std::filesystem::path IniRegistry::defaultFile()
{
    return std::filesystem::path(xdg::baseFolder(xdg::Base::Config)) / "winreg"
        / "HKEY_CURRENT_USER.ini";
}

long IniRegistry::RegOpenKeyEx(
    HKEY root, const std::string& subKey, std::uint32_t, std::uint32_t, HKEY* result)
{
    if (root != HKEY_CURRENT_USER || !result)
        return ERROR_INVALID_HANDLE;
    std::string text;
    if (!readAll(mFile, text, true))
        return ERROR_FILE_NOT_FOUND;
    const std::string section = sectionOf(subKey);
    if (!ini::hasSection(text, section, ini::Sections::KeyPaths))
        return ERROR_FILE_NOT_FOUND;
    const HKEY handle = mNextHandle++;
    mOpen.emplace_back(handle, section);
    *result = handle;
    return ERROR_SUCCESS;
}

long IniRegistry::RegQueryValueEx(HKEY key, const std::string& valueName, std::uint32_t* type,
    unsigned char* data, std::uint32_t* dataSize)
{
    const auto open = std::find_if(
        mOpen.begin(), mOpen.end(), [key](const auto& entry) { return entry.first == key; });
    if (open == mOpen.end())
        return ERROR_INVALID_HANDLE;
    std::string text;
    if (!readAll(mFile, text, false))
        return ERROR_FILE_NOT_FOUND;
    const auto value = ini::lookup(text, open->second, valueName, ini::Sections::KeyPaths);
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    const std::uint32_t stored = std::uint32_t(value->size() + 1);
    if (type)
        *type = REG_SZ;
    if (!dataSize)
        return data ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
    const std::uint32_t room = *dataSize;
    *dataSize = stored;
    if (!data)
        return ERROR_SUCCESS;
    if (stored > room)
        return ERROR_MORE_DATA;
    std::copy(value->begin(), value->end(), data);
    data[value->size()] = 0;
    return ERROR_SUCCESS;
}

long IniRegistry::RegCloseKey(HKEY key)
{
    const auto open = std::find_if(
        mOpen.begin(), mOpen.end(), [key](const auto& entry) { return entry.first == key; });
    if (open == mOpen.end())
        return ERROR_INVALID_HANDLE;
    mOpen.erase(open);
    return ERROR_SUCCESS;
}

bool IniRegistry::setString(const std::string& subKey, const std::string& valueName,
    const std::string& value, std::string* error)
{
    std::error_code ec;
    std::filesystem::create_directories(mFile.parent_path(), ec);
    if (ec) {
        if (error)
            *error = ec.message();
        return false;
    }
    return ini::writeString(
        mFile, sectionOf(subKey), valueName, value, error, ini::Sections::KeyPaths);
}

bool IniRegistry::removeValue(
    const std::string& subKey, const std::string& valueName, bool* removed, std::string* error)
{
    return ini::removeKey(
        mFile, sectionOf(subKey), valueName, removed, error, ini::Sections::KeyPaths);
}
