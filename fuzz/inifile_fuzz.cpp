// Fuzz target for the INI engine (ini::lookup, ini::withValue, ini::hasSection).
//
// Input layout: the first three lines are the section, the key and the value to write; the rest
// is the file's text. That text is tried four ways: as it is (it may begin with a byte-order
// mark of its own), after a UTF-8 mark, as UTF-16 LE after its mark (each byte one character),
// and with every line end made a CR alone. Names and value are first brought into what the format
// can hold: no CR or LF, no "]" in the section, no "=" in the key, no ";" or "[" at the start of
// the key (such a line would read as a comment or a section line), names not empty once trimmed.
// Blanks around names, and blanks or quotes around the value, stay: the engine trims names, and
// writes such a value in double quotes. Properties:
//  - nothing crashes and the sanitizers report nothing;
//  - after withValue, lookup gives the written value, exactly;
//  - the file keeps its encoding, and its bytes survive decoding and encoding unchanged;
//  - every line of the file (compared as decoded text) other than the key's own line (and the
//  section line that a write
//    adds) stays byte for byte, in order: the bytes of one line change, or whole lines are put
//    in at a line boundary (a last line without line end gets one first);
//  - writing the same value again changes nothing.
#include "iniencoding.h"
#include "inifile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

void fail(const char* what, std::string_view text)
{
    std::fprintf(stderr, "inifile_fuzz: %s\n  text (%zu bytes):", what, text.size());
    for (unsigned char c : text)
        std::fprintf(stderr, " %02x", c);
    std::fprintf(stderr, "\n");
    __builtin_trap();
}

#define CHECK(condition, text)                                                                     \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fail(#condition, text);                                                                \
    } while (false)

// The blanks that the engine ignores around names and values.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string without(std::string_view s, std::string_view refused)
{
    std::string out;
    for (char c : s) {
        if (refused.find(c) == std::string_view::npos)
            out += c;
    }
    return out;
}

void trimBlanks(std::string& s)
{
    while (!s.empty() && isBlank(s.front()))
        s.erase(0, 1);
    while (!s.empty() && isBlank(s.back()))
        s.pop_back();
}

std::string trimmed(std::string s)
{
    trimBlanks(s);
    return s;
}

bool quoteWrapped(const std::string& s)
{
    return s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front();
}

std::size_t commonPrefix(std::string_view a, std::string_view b)
{
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    return n;
}

std::size_t commonSuffix(std::string_view a, std::string_view b)
{
    std::size_t n = 0;
    while (n < a.size() && n < b.size() && a[a.size() - 1 - n] == b[b.size() - 1 - n])
        ++n;
    return n;
}

bool endsLine(std::string_view text)
{
    return text.empty() || text.back() == '\n' || text.back() == '\r';
}

// Whether a line begins at text[at]: after LF, or after a CR that no LF follows.
bool lineStart(std::string_view text, std::size_t at)
{
    return at > 0
        && (text[at - 1] == '\n'
            || (text[at - 1] == '\r' && (at == text.size() || text[at] != '\n')));
}

// Whether after is before with the lines of added put in at a line boundary: after the end of a
// line, or at the end of the file, where a last line without line end first gets one.
bool insertedLines(std::string_view before, std::string_view after, std::string_view added)
{
    for (std::string_view eol :
        { std::string_view("\r\n"), std::string_view("\n"), std::string_view("\r") }) {
        std::string inserted;
        for (std::size_t start = 0; start <= added.size();) {
            const std::size_t at = std::min(added.find('\n', start), added.size());
            inserted.append(added.substr(start, at - start)).append(eol);
            start = at + 1;
        }
        // At the end of the file.
        const std::string_view separator = endsLine(before) ? std::string_view() : eol;
        if (after.size() == before.size() + separator.size() + inserted.size()
            && after.substr(0, before.size()) == before
            && after.substr(before.size(), separator.size()) == separator
            && after.substr(before.size() + separator.size()) == inserted)
            return true;
        // After a line end inside the file.
        if (after.size() != before.size() + inserted.size())
            continue;
        const std::size_t prefix = commonPrefix(before, after);
        const std::size_t suffix = commonSuffix(before, after);
        const std::size_t from = before.size() > suffix ? before.size() - suffix : 0;
        for (std::size_t at = from; at <= prefix && at < before.size(); ++at) {
            if (lineStart(before, at) && after.substr(at, inserted.size()) == inserted)
                return true;
        }
    }
    return false;
}

std::string_view nextLine(std::string_view& input)
{
    const std::size_t at = input.find('\n');
    const std::string_view line = input.substr(0, at);
    input.remove_prefix(at == std::string_view::npos ? input.size() : at + 1);
    return line;
}

// The properties above for one file.
void checkFile(std::string_view file, const std::string& section, const std::string& key,
    const std::string& value)
{
    const bool hadSection = ini::hasSection(file, section);
    const bool hadKey = ini::lookup(file, section, key).has_value();
    CHECK(hadSection || !hadKey, file);

    const std::string written = ini::withValue(file, section, key, value);
    const auto readBack = ini::lookup(written, section, key);
    CHECK(readBack.has_value(), written);
    CHECK(*readBack == value, written);
    CHECK(ini::hasSection(written, section), written);
    CHECK(ini::withValue(written, section, key, value) == written, written);

    const ini::FileText before = ini::decode(file);
    const ini::FileText after = ini::decode(written);
    CHECK(ini::encode(before) == file, file);
    CHECK(ini::encode(after) == written, written);
    CHECK(after.encoding == before.encoding && after.oddByte == before.oddByte, written);

    // Compared character for character: only one line changes, or whole lines are added.
    const std::string_view text = before.text;
    const std::string_view out = after.text;
    const bool quoted = trimmed(value) != value || quoteWrapped(value);
    const std::string entry = ini::toFileText(
        trimmed(key) + "=" + (quoted ? "\"" + value + "\"" : value), before.encoding);
    if (!hadSection) {
        const std::string head = ini::toFileText("[" + trimmed(section) + "]\n", before.encoding);
        CHECK(insertedLines(text, out, head + entry), written);
    } else if (!hadKey) {
        CHECK(insertedLines(text, out, entry), written);
    } else {
        const std::size_t prefix = commonPrefix(text, out);
        const std::size_t suffix
            = std::min(commonSuffix(text, out), std::min(text.size(), out.size()) - prefix);
        const std::string_view old = text.substr(prefix, text.size() - suffix - prefix);
        const std::string_view now = out.substr(prefix, out.size() - suffix - prefix);
        CHECK(old.find_first_of("\r\n") == std::string_view::npos, written);
        CHECK(now.find_first_of("\r\n") == std::string_view::npos, written);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string section = without(nextLine(input), "\r]");
    std::string key = without(nextLine(input), "\r=");
    std::string value = without(nextLine(input), "\r");
    const std::string_view text = input;

    if (trimmed(section).empty())
        section = "program";
    // The key's first character, after any blanks, is neither ";" nor "[".
    const std::size_t first = key.find_first_not_of(" \t\v\f");
    while (first != std::string::npos && first < key.size()
        && (key[first] == ';' || key[first] == '[' || isBlank(key[first])))
        key.erase(first, 1);
    if (trimmed(key).empty())
        key = "MaxRudimixNotes";

    std::string utf16 = "\xFF\xFE";
    std::string crOnly;
    for (std::size_t i = 0; i < text.size(); ++i) {
        utf16.append({ text[i], '\0' });
        if (text[i] != '\n' || i == 0 || text[i - 1] != '\r')
            crOnly += text[i] == '\n' ? '\r' : text[i];
    }
    checkFile(text, section, key, value);
    checkFile("\xEF\xBB\xBF" + std::string(text), section, key, value);
    checkFile(utf16, section, key, value);
    checkFile(crOnly, section, key, value);
    return 0;
}
