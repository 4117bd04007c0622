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

// The host folder made absolute once, against the current folders of this moment, so that the
// settings file, the test script and the host all come from the same folder later on. On
// Windows a folder that is not fully qualified (relative "Host" or ".\Host", drive-relative
// "C:Host" or "C:", rooted "\Host") goes through GetFullPathNameA; "C:\...", "\\server\share"
// and "\\?\..." stay as they are. Elsewhere a relative folder is taken against the working
// folder. An empty folder, or one the system cannot make absolute, comes back unchanged.
QString absoluteFolder(const QString& folder);

// The longest path the system's file calls take, in characters: MAX_PATH - 1 on Windows (the
// "A" calls and the profile calls know no longer ones); PATH_MAX - 1 elsewhere.
qsizetype longestPath();

} // namespace settingsfile
