#include "inifile.h"

#include "iniencoding.h"
#include "regularfile.h"
#include "textlines.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace ini {

namespace {

    using Line = textlines::Line;

    std::vector<Line> splitLines(std::string_view text)
    {
        return textlines::split(text);
    }

    bool isBlank(char c)
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    }

    std::string_view trim(std::string_view s)
    {
        while (!s.empty() && isBlank(s.front()))
            s.remove_prefix(1);
        while (!s.empty() && isBlank(s.back()))
            s.remove_suffix(1);
        return s;
    }

    char lower(char c)
    {
        return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }

    // A registry key path ends with or without backslashes.
    std::string_view withoutTrailingBackslashes(std::string_view s, Sections match)
    {
        while (match == Sections::KeyPaths && !s.empty() && s.back() == '\\')
            s.remove_suffix(1);
        return s;
    }

    bool sameName(std::string_view a, std::string_view b, Sections match = Sections::AsWritten)
    {
        a = withoutTrailingBackslashes(trim(a), match);
        b = withoutTrailingBackslashes(trim(b), match);
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (lower(a[i]) != lower(b[i]))
                return false;
        }
        return true;
    }

    // The section name of a section line, or nothing.
    std::optional<std::string_view> sectionName(std::string_view line)
    {
        line = trim(line);
        if (line.empty() || line.front() != '[')
            return std::nullopt;
        line.remove_prefix(1);
        const std::size_t close = line.find(']');
        return trim(close == std::string_view::npos ? line : line.substr(0, close));
    }

    bool isComment(std::string_view line)
    {
        line = trim(line);
        return !line.empty() && line.front() == ';';
    }

    // Where the entry of key stands: the index of its line, or nothing; also the index of the
    // section line and of the section's last entry.
    struct Place {
        std::optional<std::size_t> section;
        std::optional<std::size_t> keyLine;
        std::size_t lastEntry = 0; // the section line itself when the section has no entry
    };

    Place find(const std::vector<Line>& lines, std::string_view section, std::string_view key,
        Sections match)
    {
        Place place;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const auto name = sectionName(lines[i].text);
            if (!place.section) {
                if (name && sameName(*name, section, match)) {
                    place.section = i;
                    place.lastEntry = i;
                }
                continue;
            }
            if (name)
                break; // the first matching section ends here
            if (isComment(lines[i].text) || trim(lines[i].text).empty())
                continue;
            place.lastEntry = i;
            const std::size_t equals = lines[i].text.find('=');
            if (!place.keyLine && equals != std::string_view::npos
                && sameName(lines[i].text.substr(0, equals), key))
                place.keyLine = i;
        }
        return place;
    }

    std::string_view unquote(std::string_view value)
    {
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
            && value.back() == value.front())
            return value.substr(1, value.size() - 2);
        return value;
    }

    // The value as it goes into the file: quoted when blanks around it or quotes of its own
    // would otherwise be lost on reading it back.
    std::string storedValue(std::string_view value)
    {
        if (unquote(trim(value)) == value)
            return std::string(value);
        return "\"" + std::string(value) + "\"";
    }

    bool hasLineBreak(std::string_view s)
    {
        return s.find_first_of("\r\n") != std::string_view::npos;
    }

    // Names that a reader of the written file would find again.
    bool writableNames(std::string_view section, std::string_view key, std::string_view value)
    {
        const std::string_view s = trim(section);
        const std::string_view k = trim(key);
        return !s.empty() && !k.empty() && !hasLineBreak(section) && !hasLineBreak(key)
            && !hasLineBreak(value) && s.find(']') == std::string_view::npos
            && k.find('=') == std::string_view::npos && k.front() != ';' && k.front() != '[';
    }

    // The file's style: the end of its first line (CR LF for a file without one).
    std::string_view lineEndStyle(const std::vector<Line>& lines)
    {
        return lines.empty() || lines.front().end.empty() ? std::string_view("\r\n")
                                                          : lines.front().end;
    }

} // namespace

namespace {

    std::optional<std::string> lookupText(
        std::string_view text, std::string_view section, std::string_view key, Sections match)
    {
        const std::vector<Line> lines = splitLines(text);
        const Place place = find(lines, section, key, match);
        if (!place.keyLine)
            return std::nullopt;
        const std::string_view line = lines[*place.keyLine].text;
        return std::string(unquote(trim(line.substr(line.find('=') + 1))));
    }

    std::string withValueText(std::string_view text, std::string_view section, std::string_view key,
        std::string_view value, Sections match)
    {
        const std::vector<Line> lines = splitLines(text);
        const Place place = find(lines, section, key, match);
        const std::string_view eol = lineEndStyle(lines);
        const std::string stored = storedValue(value);
        std::string out;
        out.reserve(text.size() + section.size() + key.size() + stored.size() + 8);
        const std::string entry = std::string(trim(key)) + "=" + stored;

        if (!place.section) {
            out.append(text);
            if (!lines.empty() && lines.back().end.empty())
                out.append(eol);
            out.append("[").append(trim(section)).append("]").append(eol);
            out.append(entry).append(eol);
            return out;
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line& line = lines[i];
            if (place.keyLine && i == *place.keyLine) {
                // Keep the key and the blanks after "=" as they stand; replace the value.
                std::size_t keep = line.text.find('=') + 1;
                while (
                    keep < line.text.size() && (line.text[keep] == ' ' || line.text[keep] == '\t'))
                    ++keep;
                out.append(line.text.substr(0, keep)).append(stored).append(line.end);
                continue;
            }
            out.append(line.text).append(line.end);
            if (!place.keyLine && i == place.lastEntry) {
                if (line.end.empty())
                    out.append(eol);
                // A CR alone before the next line's LF would join them into one line end.
                const bool nextIsLf
                    = i + 1 < lines.size() && lines[i + 1].text.empty() && lines[i + 1].end == "\n";
                out.append(entry).append(eol == "\r" && nextIsLf ? "\r\n" : eol);
            }
        }
        return out;
    }

    // The text without the entries of key in the first matching section (the ones a reader
    // would find); every other byte stays.
    std::string withoutKeyText(
        std::string_view text, std::string_view section, std::string_view key, Sections match)
    {
        const std::vector<Line> lines = splitLines(text);
        const Place place = find(lines, section, key, match);
        std::string out;
        out.reserve(text.size());
        bool inSection = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Line& line = lines[i];
            if (place.section && i >= *place.section)
                inSection = i == *place.section || (inSection && !sectionName(line.text));
            const std::size_t equals = line.text.find('=');
            if (inSection && i != *place.section && !isComment(line.text)
                && equals != std::string_view::npos && sameName(line.text.substr(0, equals), key))
                continue;
            out.append(line.text).append(line.end);
        }
        return out;
    }

} // namespace

std::optional<std::string> lookup(
    std::string_view text, std::string_view section, std::string_view key, Sections match)
{
    const FileText file = decode(text);
    const auto value = lookupText(
        file.text, toFileText(section, file.encoding), toFileText(key, file.encoding), match);
    if (!value)
        return std::nullopt;
    return fromFileText(*value, file.encoding);
}

bool hasSection(std::string_view text, std::string_view section, Sections match)
{
    const FileText file = decode(text);
    return find(splitLines(file.text), toFileText(section, file.encoding), {}, match)
        .section.has_value();
}

std::string withValue(std::string_view text, std::string_view section, std::string_view key,
    std::string_view value, Sections match)
{
    FileText file = decode(text);
    file.text = withValueText(file.text, toFileText(section, file.encoding),
        toFileText(key, file.encoding), toFileText(value, file.encoding), match);
    return encode(file);
}

std::string withoutKey(
    std::string_view text, std::string_view section, std::string_view key, Sections match)
{
    FileText file = decode(text);
    file.text = withoutKeyText(
        file.text, toFileText(section, file.encoding), toFileText(key, file.encoding), match);
    return encode(file);
}

std::string readString(const std::filesystem::path& file, std::string_view section,
    std::string_view key, std::string_view defaultValue, std::size_t bufferSize)
{
    std::string text;
    std::string result(defaultValue);
    if (regular::read(file, text).ok()) {
        if (auto value = lookup(text, section, key))
            result = std::move(*value);
    }
    if (bufferSize == 0)
        return {};
    if (result.size() > bufferSize - 1)
        result.resize(bufferSize - 1);
    return result;
}

namespace {

    bool fail(const regular::Result& result, std::string* error)
    {
        if (error)
            *error = result.reason();
        return false;
    }

    // Reads the file (through a symbolic link, the file it names) and puts the changed text in
    // its place. A missing file is read as empty; change returns nothing to leave it as it is.
    template <typename Change>
    bool rewrite(const std::filesystem::path& file, std::string* error, Change change)
    {
        std::filesystem::path target = file;
        std::error_code ec;
        if (std::filesystem::is_symlink(file, ec)) {
            target = std::filesystem::canonical(file, ec);
            if (ec)
                return fail({ regular::Status::Failed, ec.value() }, error);
        }
        if (target.parent_path().empty())
            target = std::filesystem::path(".") / target;

        // Only a regular file is read and replaced; a missing one is created.
        std::string text;
        struct stat fileStat { };
        const regular::Result read = regular::read(target, text, &fileStat);
        if (!read.ok() && read.status != regular::Status::Missing)
            return fail(read, error);
        const std::optional<std::string> changed = change(text);
        if (!changed)
            return true;
        const regular::Result written
            = regular::write(target, *changed, read.ok() ? &fileStat : nullptr);
        return written.ok() || fail(written, error);
    }

} // namespace

bool writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
    std::string_view value, std::string* error, Sections match)
{
    if (!writableNames(section, key, value))
        return fail({ regular::Status::Failed, EINVAL }, error);
    return rewrite(file, error, [&](const std::string& text) -> std::optional<std::string> {
        return withValue(text, section, key, value, match);
    });
}

bool removeKey(const std::filesystem::path& file, std::string_view section, std::string_view key,
    bool* removed, std::string* error, Sections match)
{
    if (removed)
        *removed = false;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return true;
    return rewrite(file, error, [&](const std::string& text) -> std::optional<std::string> {
        if (!lookup(text, section, key, match))
            return std::nullopt;
        if (removed)
            *removed = true;
        return withoutKey(text, section, key, match);
    });
}

} // namespace ini
