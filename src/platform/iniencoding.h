#pragma once

#include <string>
#include <string_view>

// The encodings a settings file may come in, as the Windows profile calls take them: 8-bit
// Windows-1252 text, UTF-8 after its byte-order mark, or UTF-16 after its mark. The INI engine
// works on 8-bit text for a file without a mark and on UTF-8 for the others; the names and
// values it is given and returns are always Windows-1252.
namespace ini {

enum class Encoding { Ansi, Utf8, Utf16Le, Utf16Be };

struct FileText {
    Encoding encoding = Encoding::Ansi;
    // Without the byte-order mark; UTF-16 as UTF-8, a lone surrogate in its own 3-byte form.
    std::string text;
    // The odd last byte of a UTF-16 file, kept as it was.
    std::string oddByte;
};

// A file's bytes as the engine's text, and back: encode(decode(b)) == b for every b.
FileText decode(std::string_view bytes);
std::string encode(const FileText& file);

// A Windows-1252 name or value as text of the file's encoding, and back. A character that
// Windows-1252 cannot hold reads as "?"; a byte that is not UTF-8 reads as itself.
std::string toFileText(std::string_view ansi, Encoding encoding);
std::string fromFileText(std::string_view text, Encoding encoding);

} // namespace ini
