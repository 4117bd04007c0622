#pragma once

#include <QString>
#include <cstddef>
#include <string>

// The host's settings file and the files around it, through the system's own calls where it
// has them (GetPrivateProfileStringA, WritePrivateProfileStringA, GetModuleFileNameA) and
// through the INI engine of inifile.h elsewhere. Texts are 8-bit, in the ANSI code page.
namespace settingsfile {

// The key's value, cut to bufferSize - 1 characters; defaultValue when the file, the section or
// the key is missing. May throw on a failure of the system.
std::string read(const QString& file, const std::string& section, const std::string& key,
    const std::string& defaultValue, std::size_t bufferSize);

// Writes the key, creating the file and the section as needed. On failure *error (when given)
// holds the system's reason.
bool write(const QString& file, const std::string& section, const std::string& key,
    const std::string& value, std::string* error = nullptr);

// gfnFileExists: the path opens for reading, or refuses because access is denied or the file is
// in use; never for a folder, a missing file or an empty path.
bool exists(const QString& path);

// A file that is there but cannot serve as a settings file (not a regular file, or too large).
bool unusable(const QString& path);

// The separator between a folder and a name: "\" on Windows, "/" elsewhere.
QChar folderSeparator();

// The folder of the program's own executable, without a trailing separator except for a root.
QString programFolder();

} // namespace settingsfile
