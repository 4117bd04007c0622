#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// An INI engine with the semantics of the Windows private-profile calls. Names and values are
// 8-bit (Windows-1252) byte strings. The file itself may be 8-bit text, UTF-8 after a byte-order
// mark or UTF-16 after its mark; it is read in its encoding and written back in it, the mark
// kept (see iniencoding.h). A line ends with CR LF, LF or CR alone.
//
// Reading: section and key names match without regard to case; blanks around names and values
// are ignored; a value in matching double or single quotes loses them; lines that begin with
// ";" are comments; the first matching section and key win.
//
// Writing replaces the value in place, adds a missing key at the end of its section (after its
// last entry), adds a missing section at the end of the file and creates a missing file. Every
// other byte stays as it was, the file's line-end style included (CR LF for a new file).
namespace ini {

// How section names match: as written, or as registry key paths, whose trailing backslashes
// do not count ("[software\Maker\]" is the key "software\Maker").
enum class Sections { AsWritten, KeyPaths };

// The value of key in section of the file's text, or nothing when absent.
std::optional<std::string> lookup(std::string_view text, std::string_view section,
    std::string_view key, Sections match = Sections::AsWritten);

// Whether the file's text has a section of that name.
bool hasSection(
    std::string_view text, std::string_view section, Sections match = Sections::AsWritten);

// The file's text after writing key = value into section. A value with blanks around it or in
// quotes of its own is written in double quotes, so that reading gives it back unchanged.
std::string withValue(std::string_view text, std::string_view section, std::string_view key,
    std::string_view value, Sections match = Sections::AsWritten);

// The file's text without the entries of key in the first section of that name.
std::string withoutKey(std::string_view text, std::string_view section, std::string_view key,
    Sections match = Sections::AsWritten);

// GetPrivateProfileString: the value, or defaultValue when the file, the section or the key is
// missing or the file cannot be read: only a regular file of at most 64 MiB is read (see
// regularfile.h), without ever waiting on a pipe or device. The result is cut to bufferSize - 1
// characters.
std::string readString(const std::filesystem::path& file, std::string_view section,
    std::string_view key, std::string_view defaultValue, std::size_t bufferSize = 1024);

// WritePrivateProfileString: writes beside the file and renames it into place, keeping the
// file's permissions; never leaves a half-written file. A file with more than one link, one of
// another user, or one whose folder cannot take a new file is written in place instead, its
// new length reserved first (see regular::write). A read-only file (by its mode bits, even for
// root), a new file in a read-only folder, a file that is not regular (a pipe, a device, a
// folder) or over 64 MiB is a failed write, and so is a name or value that could not be read
// back (an empty name, a line break, "]" in a section name, "=" in a key). A symbolic link is
// written through. On failure the file is unchanged and *error (when given) holds the reason.
bool writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
    std::string_view value, std::string* error = nullptr, Sections match = Sections::AsWritten);

// WritePrivateProfileString with no value: removes the key's entries from the section, under the
// same rules as writeString. A missing file, section or key is no failure and leaves the file
// untouched; *removed (when given) tells whether an entry was there.
bool removeKey(const std::filesystem::path& file, std::string_view section, std::string_view key,
    bool* removed = nullptr, std::string* error = nullptr, Sections match = Sections::AsWritten);

} // namespace ini
