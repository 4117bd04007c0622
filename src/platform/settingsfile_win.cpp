#include "settingsfile.h"

#include "ansi.h"
#include "winmessage.h"

#include <algorithm>
#include <vector>
#include <windows.h>

namespace settingsfile {

std::string read(const QString& file, const std::string& section, const std::string& key,
    const std::string& defaultValue, std::size_t bufferSize)
{
    std::vector<char> buffer(bufferSize ? bufferSize : 1, '\0');
    const DWORD copied = ::GetPrivateProfileStringA(section.c_str(), key.c_str(),
        defaultValue.c_str(), buffer.data(), DWORD(bufferSize), ansi::fromUnicode(file).c_str());
    return std::string(buffer.data(), std::min<std::size_t>(copied, buffer.size()));
}

bool write(const QString& file, const std::string& section, const std::string& key,
    const std::string& value, std::string* error)
{
    if (::WritePrivateProfileStringA(
            section.c_str(), key.c_str(), value.c_str(), ansi::fromUnicode(file).c_str()))
        return true;
    if (error)
        *error = winMessage(::GetLastError()).toStdString();
    return false;
}

bool exists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const std::string name = ansi::fromUnicode(path);
    const HANDLE file = ::CreateFileA(name.c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return true;
    }
    const DWORD code = ::GetLastError();
    if (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)
        return false;
    // A folder refuses to open as a file with "access denied" too; it is no file.
    const DWORD attributes = ::GetFileAttributesA(name.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool unusable(const QString&)
{
    // Whatever opens as a file serves GetPrivateProfileStringA.
    return false;
}

QChar folderSeparator()
{
    return QLatin1Char('\\');
}

QString programFolder()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), DWORD(buffer.size()));
        if (length == 0)
            return QString();
        if (length < buffer.size()) {
            QString path = ansi::toUnicode(std::string_view(buffer.data(), length));
            path.truncate(path.lastIndexOf(u'\\'));
            if (path.endsWith(u':')) // the root of a drive keeps its separator
                path += u'\\';
            return path;
        }
        buffer.resize(buffer.size() * 2);
    }
}

QString absoluteFolder(const QString& folder)
{
    const bool drivePath = folder.size() >= 3 && folder[0].isLetter() && folder[1] == u':'
        && (folder[2] == u'\\' || folder[2] == u'/');
    const bool networkPath
        = folder.startsWith(QLatin1String("\\\\")) || folder.startsWith(QLatin1String("//"));
    if (folder.isEmpty() || drivePath || networkPath)
        return folder;
    const std::string name = ansi::fromUnicode(folder);
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length
            = ::GetFullPathNameA(name.c_str(), DWORD(buffer.size()), buffer.data(), nullptr);
        if (length == 0)
            return folder;
        if (length < buffer.size())
            return ansi::toUnicode(std::string_view(buffer.data(), length));
        buffer.resize(length); // the size it asks for, its NUL included
    }
}

qsizetype longestPath()
{
    return MAX_PATH - 1;
}

} // namespace settingsfile
