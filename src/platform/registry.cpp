#include "registry.h"

#include "inifile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Key paths are sections: a trailing backslash does not count.
std::string sectionOf(std::string path)
{
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

bool readAll(const std::filesystem::path& file, std::string& text)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

IniRegistry::IniRegistry(std::filesystem::path file)
    : mFile(std::move(file))
{
}

std::filesystem::path IniRegistry::defaultFile()
{
    // A relative XDG_CONFIG_HOME is not valid and does not count.
    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* user = ::getpwuid(::getuid());
            home = user && user->pw_dir ? user->pw_dir : "";
        }
        base = std::filesystem::path(home) / ".config";
    }
    return base / "winreg" / "HKEY_CURRENT_USER.ini";
}

long IniRegistry::RegOpenKeyEx(
    HKEY root, const std::string& subKey, std::uint32_t, std::uint32_t, HKEY* result)
{
    if (root != HKEY_CURRENT_USER || !result)
        return ERROR_INVALID_HANDLE;
    std::string text;
    if (!readAll(mFile, text))
        return ERROR_FILE_NOT_FOUND;
    const std::string section = sectionOf(subKey);
    if (!ini::hasSection(text, section))
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
    if (!readAll(mFile, text))
        return ERROR_FILE_NOT_FOUND;
    const auto value = ini::lookup(text, open->second, valueName);
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
    return ini::writeString(mFile, sectionOf(subKey), valueName, value, error);
}

namespace {

// A key or value name as the registry file holds it: blanks around it, case and (for keys) a
// trailing backslash do not count.
std::string registryName(std::string_view name)
{
    std::string result;
    for (const char c : name)
        result += char(std::tolower(static_cast<unsigned char>(c)));
    while (!result.empty() && (result.back() == '\\' || std::isspace((unsigned char)result.back())))
        result.pop_back();
    result.erase(0, std::min(result.find_first_not_of(" \t"), result.size()));
    return result;
}

// Puts the text in place of the file (through a symbolic link, of the file it names): written
// beside it with its mode, synced, and renamed over it. The file stays whole on a failure.
bool replaceFile(std::filesystem::path file, const std::string& text, std::string* error)
{
    std::error_code ec;
    if (std::filesystem::is_symlink(file, ec))
        file = std::filesystem::canonical(file, ec);
    struct stat st;
    std::string temp = file.string() + ".XXXXXX";
    const int fd = ec || ::stat(file.c_str(), &st) != 0 ? -1 : ::mkostemp(temp.data(), O_CLOEXEC);
    bool done = fd >= 0 && ::fchmod(fd, st.st_mode & 07777) == 0;
    for (std::size_t at = 0; done && at < text.size();) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        done = n > 0 || (n < 0 && errno == EINTR);
        at += n > 0 ? std::size_t(n) : 0;
    }
    done = done && ::fsync(fd) == 0;
    const int code = ec ? ec.value() : errno;
    if (fd >= 0 && (::close(fd) != 0 || !done || ::rename(temp.c_str(), file.c_str()) != 0)) {
        if (error)
            *error = std::strerror(done ? errno : code);
        ::unlink(temp.c_str());
        return false;
    }
    if (fd < 0 && error)
        *error = std::strerror(code);
    return fd >= 0;
}

} // namespace

bool IniRegistry::removeValue(
    const std::string& subKey, const std::string& valueName, bool* removed, std::string* error)
{
    if (removed)
        *removed = false;
    std::error_code ec;
    if (!std::filesystem::exists(mFile, ec))
        return true;
    std::string text;
    if (!readAll(mFile, text)) {
        if (error)
            *error = "the file cannot be read";
        return false;
    }
    // Every line stays but the value's entries in the key's sections.
    std::string kept;
    bool inKey = false;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
        const std::string_view line(text.data() + start, end - start);
        // Blanks, and a UTF-8 byte-order mark at the file's start, come before a name.
        const char* const skipped = start == 0 ? " \t\xEF\xBB\xBF" : " \t";
        start = end;
        const std::size_t first = std::min(line.find_first_not_of(skipped), line.size() - 1);
        if (line[first] == '[') {
            inKey = registryName(line.substr(first + 1, line.find(']') - first - 1))
                == registryName(subKey);
        } else if (inKey && line[first] != ';' && line.find('=') != line.npos
            && registryName(line.substr(0, line.find('='))) == registryName(valueName)) {
            if (removed)
                *removed = true;
            continue;
        }
        kept += line;
    }
    return kept == text || replaceFile(mFile, kept, error);
}
