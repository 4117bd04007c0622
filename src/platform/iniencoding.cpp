#include "iniencoding.h"

#include <cstdint>

namespace ini {

namespace {

    constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
    constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
    constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

    // Characters 0x80..0x9F of Windows-1252; 0 where the code is unassigned (that code then
    // stands for the C1 control of the same number, both ways).
    constexpr char16_t kHigh[32] = { 0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D,
        0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178 };

    void appendUtf8(std::string& out, char32_t c)
    {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }

    // The character at text[at] and its length in bytes; a byte that does not start a
    // well-formed sequence gives length 0. Surrogates in their 3-byte form are accepted.
    char32_t nextUtf8(std::string_view text, std::size_t at, std::size_t& length)
    {
        const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
        const unsigned char lead = b(0);
        length = 0;
        if (lead < 0x80) {
            length = 1;
            return lead;
        }
        const std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (n == 0 || lead > 0xF4 || at + n > text.size())
            return 0;
        char32_t c = lead & (0x7F >> n);
        for (std::size_t i = 1; i < n; ++i) {
            if ((b(i) & 0xC0) != 0x80)
                return 0;
            c = (c << 6) | (b(i) & 0x3F);
        }
        const char32_t least[] = { 0, 0, 0x80, 0x800, 0x10000 };
        if (c < least[n] || c > 0x10FFFF)
            return 0;
        length = n;
        return c;
    }

    char fromCodePoint(char32_t c)
    {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF) || (c < 0xA0 && kHigh[c - 0x80] == 0))
            return char(c);
        for (int k = 0; k < 32; ++k) {
            if (kHigh[k] == c)
                return char(0x80 + k);
        }
        return '?';
    }

    void appendUnit(std::string& out, std::uint16_t unit, bool bigEndian)
    {
        const char low = char(unit & 0xFF);
        const char high = char(unit >> 8);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }

} // namespace

FileText decode(std::string_view bytes)
{
    FileText file;
    if (bytes.substr(0, 3) == kUtf8Mark) {
        file.encoding = Encoding::Utf8;
        file.text = bytes.substr(3);
        return file;
    }
    const bool le = bytes.substr(0, 2) == kUtf16LeMark;
    if (!le && bytes.substr(0, 2) != kUtf16BeMark) {
        file.text = bytes;
        return file;
    }
    file.encoding = le ? Encoding::Utf16Le : Encoding::Utf16Be;
    bytes.remove_prefix(2);
    if (bytes.size() % 2 != 0) {
        file.oddByte = bytes.substr(bytes.size() - 1);
        bytes.remove_suffix(1);
    }
    auto unit = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        return le ? char32_t(first | (second << 8)) : char32_t((first << 8) | second);
    };
    const std::size_t units = bytes.size() / 2;
    file.text.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units && unit(i + 1) >= 0xDC00
            && unit(i + 1) < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(++i) - 0xDC00);
        appendUtf8(file.text, c);
    }
    return file;
}

std::string encode(const FileText& file)
{
    switch (file.encoding) {
    case Encoding::Ansi:
        return file.text;
    case Encoding::Utf8:
        return std::string(kUtf8Mark) + file.text;
    case Encoding::Utf16Le:
    case Encoding::Utf16Be:
        break;
    }
    const bool be = file.encoding == Encoding::Utf16Be;
    std::string out(be ? kUtf16BeMark : kUtf16LeMark);
    out.reserve(2 + 2 * file.text.size() + 1);
    for (std::size_t at = 0; at < file.text.size();) {
        std::size_t length = 0;
        char32_t c = nextUtf8(file.text, at, length);
        if (length == 0) { // not from a decoded file; kept as the character of its byte
            c = static_cast<unsigned char>(file.text[at]);
            length = 1;
        }
        at += length;
        if (c >= 0x10000) {
            appendUnit(out, std::uint16_t(0xD800 + ((c - 0x10000) >> 10)), be);
            appendUnit(out, std::uint16_t(0xDC00 + ((c - 0x10000) & 0x3FF)), be);
        } else {
            appendUnit(out, std::uint16_t(c), be);
        }
    }
    return out + file.oddByte;
}

std::string toFileText(std::string_view ansi, Encoding encoding)
{
    if (encoding == Encoding::Ansi)
        return std::string(ansi);
    std::string out;
    out.reserve(ansi.size());
    for (const char byte : ansi) {
        const auto b = static_cast<unsigned char>(byte);
        appendUtf8(out, (b >= 0x80 && b < 0xA0 && kHigh[b - 0x80] != 0) ? kHigh[b - 0x80] : b);
    }
    return out;
}

std::string fromFileText(std::string_view text, Encoding encoding)
{
    if (encoding == Encoding::Ansi)
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = 0;
        const char32_t c = nextUtf8(text, at, length);
        if (length == 0) {
            out += text[at++];
            continue;
        }
        out += (c >= 0xD800 && c < 0xE000) ? '?' : fromCodePoint(c);
        at += length;
    }
    return out;
}

} // namespace ini
