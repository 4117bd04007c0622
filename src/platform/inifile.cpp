#include "inifile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ini {

namespace {

    // One line of the file: its text and the line end that follows it ("" for a last line
    // without one).
    struct Line {
        std::string_view text;
        std::string_view end;
    };

    std::vector<Line> splitLines(std::string_view text)
    {
        std::vector<Line> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t at = text.find('\n', start);
            if (at == std::string_view::npos) {
                lines.push_back({ text.substr(start), {} });
                break;
            }
            std::size_t textEnd = at;
            if (textEnd > start && text[textEnd - 1] == '\r')
                --textEnd;
            lines.push_back({ text.substr(start, textEnd - start), text.substr(textEnd, at + 1 - textEnd) });
            start = at + 1;
        }
        return lines;
    }

    bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

    std::string_view trim(std::string_view s)
    {
        while (!s.empty() && isBlank(s.front()))
            s.remove_prefix(1);
        while (!s.empty() && isBlank(s.back()))
            s.remove_suffix(1);
        return s;
    }

    char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

    bool sameName(std::string_view a, std::string_view b)
    {
        a = trim(a);
        b = trim(b);
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

    Place find(const std::vector<Line>& lines, std::string_view section, std::string_view key)
    {
        Place place;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const auto name = sectionName(lines[i].text);
            if (!place.section) {
                if (name && sameName(*name, section)) {
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

    std::string_view lineEndStyle(std::string_view text)
    {
        const std::size_t at = text.find('\n');
        if (at == std::string_view::npos)
            return "\r\n";
        return (at > 0 && text[at - 1] == '\r') ? std::string_view("\r\n") : std::string_view("\n");
    }

    std::string systemReason(int error) { return std::strerror(error); }

    bool readFile(const std::filesystem::path& file, std::string& text, int& error)
    {
        std::FILE* f = std::fopen(file.c_str(), "rb");
        if (!f) {
            error = errno;
            return false;
        }
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        const bool ok = !std::ferror(f);
        error = ok ? 0 : EIO;
        std::fclose(f);
        return ok;
    }

    bool readOnly(const std::filesystem::path& path)
    {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
    }

} // namespace

std::optional<std::string> lookup(std::string_view text, std::string_view section,
    std::string_view key)
{
    const std::vector<Line> lines = splitLines(text);
    const Place place = find(lines, section, key);
    if (!place.keyLine)
        return std::nullopt;
    const std::string_view line = lines[*place.keyLine].text;
    return std::string(unquote(trim(line.substr(line.find('=') + 1))));
}

bool hasSection(std::string_view text, std::string_view section)
{
    return find(splitLines(text), section, {}).section.has_value();
}

std::string withValue(std::string_view text, std::string_view section, std::string_view key,
    std::string_view value)
{
    const std::vector<Line> lines = splitLines(text);
    const Place place = find(lines, section, key);
    const std::string_view eol = lineEndStyle(text);
    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    const std::string entry = std::string(trim(key)) + "=" + std::string(value);

    if (!place.section) {
        out.append(text);
        if (!out.empty() && out.back() != '\n')
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
            while (keep < line.text.size() && (line.text[keep] == ' ' || line.text[keep] == '\t'))
                ++keep;
            out.append(line.text.substr(0, keep)).append(value).append(line.end);
            continue;
        }
        out.append(line.text).append(line.end);
        if (!place.keyLine && i == place.lastEntry) {
            if (line.end.empty())
                out.append(eol);
            out.append(entry).append(eol);
        }
    }
    return out;
}

std::string readString(const std::filesystem::path& file, std::string_view section,
    std::string_view key, std::string_view defaultValue, std::size_t bufferSize)
{
    std::string text;
    int error = 0;
    std::string result(defaultValue);
    if (readFile(file, text, error)) {
        if (auto value = lookup(text, section, key))
            result = std::move(*value);
    }
    if (bufferSize == 0)
        return {};
    if (result.size() > bufferSize - 1)
        result.resize(bufferSize - 1);
    return result;
}

bool writeString(const std::filesystem::path& file, std::string_view section,
    std::string_view key, std::string_view value, std::string* error)
{
    auto fail = [&](int code) {
        if (error)
            *error = systemReason(code);
        return false;
    };
    std::string text;
    int readError = 0;
    const bool exists = ::access(file.c_str(), F_OK) == 0;
    if (exists && !readFile(file, text, readError))
        return fail(readError);
    if (exists && readOnly(file))
        return fail(EACCES);
    std::filesystem::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    if (readOnly(folder))
        return fail(EACCES);

    const std::string newText = withValue(text, section, key, value);

    mode_t mode = 0644;
    struct stat st;
    if (exists && ::stat(file.c_str(), &st) == 0)
        mode = st.st_mode & 07777;

    std::string temp = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(errno);
    std::size_t written = 0;
    while (written < newText.size()) {
        const ssize_t n = ::write(fd, newText.data() + written, newText.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int code = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            return fail(code);
        }
        written += std::size_t(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        const int code = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return fail(code);
    }
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return fail(code);
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return fail(code);
    }
    return true;
}

} // namespace ini
