#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// An INI engine with the semantics of the Windows private-profile calls. Texts are 8-bit
// (Windows-1252) byte strings.
//
// Reading: section and key names match without regard to case; blanks around names and values
// are ignored; a value in matching double or single quotes loses them; lines that begin with
// ";" are comments; the first matching section and key win.
//
// Writing replaces the value in place, adds a missing key at the end of its section (after its
// last entry), adds a missing section at the end of the file and creates a missing file. Every
// other byte stays as it was, the file's line-end style included (CR LF for a new file).
namespace ini {

// The value of key in section of the file's text, or nothing when absent.
std::optional<std::string> lookup(
    std::string_view text, std::string_view section, std::string_view key);

// Whether the file's text has a section of that name.
bool hasSection(std::string_view text, std::string_view section);

// The file's text after writing key = value into section. A value with blanks around it or in
// quotes of its own is written in double quotes, so that reading gives it back unchanged.
std::string withValue(
    std::string_view text, std::string_view section, std::string_view key, std::string_view value);

// GetPrivateProfileString: the value, or defaultValue when the file, the section or the key is
// missing or the file cannot be read. The result is cut to bufferSize - 1 characters.
std::string readString(const std::filesystem::path& file, std::string_view section,
    std::string_view key, std::string_view defaultValue, std::size_t bufferSize = 1024);

// WritePrivateProfileString: writes beside the file and renames it into place, keeping the
// file's permissions; never leaves a half-written file. A read-only file or folder (by its mode
// bits, even for root) is a failed write, and so is a name or value that could not be read back
// (an empty name, a line break, "]" in a section name, "=" in a key). A symbolic link is written
// through. On failure the file is unchanged and *error (when given) holds the system's reason.
bool writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
    std::string_view value, std::string* error = nullptr);

} // namespace ini
