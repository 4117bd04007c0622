#include "inifile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
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
            lines.push_back(
                { text.substr(start, textEnd - start), text.substr(textEnd, at + 1 - textEnd) });
            start = at + 1;
        }
        return lines;
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

    std::string_view lineEndStyle(std::string_view text)
    {
        const std::size_t at = text.find('\n');
        if (at == std::string_view::npos)
            return "\r\n";
        return (at > 0 && text[at - 1] == '\r') ? std::string_view("\r\n") : std::string_view("\n");
    }

    std::string systemReason(int error)
    {
        return std::strerror(error);
    }

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

    // Read-only by its mode bits (which root ignores) or by the system's say for this user.
    bool readOnly(const char* path, const struct stat& st)
    {
        return (st.st_mode & 0222) == 0 || ::access(path, W_OK) != 0;
    }

    // Creates a new file beside target for the new text; its name starts with a dot and the
    // target's name. Returns the descriptor, or -1 with errno set.
    int createBeside(const std::filesystem::path& target, mode_t mode, std::string& name)
    {
        std::filesystem::path folder = target.parent_path();
        static unsigned counter = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            name = (folder
                / ("." + target.filename().string() + "." + std::to_string(::getpid()) + "-"
                    + std::to_string(++counter) + ".tmp"))
                       .string();
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd >= 0 || errno != EEXIST)
                return fd;
        }
        errno = EEXIST;
        return -1;
    }

    bool writeAll(int fd, std::string_view text)
    {
        while (!text.empty()) {
            const ssize_t n = ::write(fd, text.data(), text.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            text.remove_prefix(std::size_t(n));
        }
        return true;
    }

} // namespace

std::optional<std::string> lookup(
    std::string_view text, std::string_view section, std::string_view key)
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

std::string withValue(
    std::string_view text, std::string_view section, std::string_view key, std::string_view value)
{
    const std::vector<Line> lines = splitLines(text);
    const Place place = find(lines, section, key);
    const std::string_view eol = lineEndStyle(text);
    const std::string stored = storedValue(value);
    std::string out;
    out.reserve(text.size() + section.size() + key.size() + stored.size() + 8);
    const std::string entry = std::string(trim(key)) + "=" + stored;

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
            out.append(line.text.substr(0, keep)).append(stored).append(line.end);
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

bool writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
    std::string_view value, std::string* error)
{
    auto fail = [&](int code) {
        if (error)
            *error = systemReason(code);
        return false;
    };
    if (!writableNames(section, key, value))
        return fail(EINVAL);

    // Through a symbolic link the file it names is written; the link stays a link.
    std::filesystem::path target = file;
    std::error_code ec;
    if (std::filesystem::is_symlink(file, ec)) {
        target = std::filesystem::canonical(file, ec);
        if (ec)
            return fail(ec.value());
    }
    if (target.parent_path().empty())
        target = std::filesystem::path(".") / target;

    struct stat fileStat { };
    const bool exists = ::stat(target.c_str(), &fileStat) == 0;
    if (!exists && errno != ENOENT)
        return fail(errno);
    std::string text;
    if (exists) {
        if (S_ISDIR(fileStat.st_mode))
            return fail(EISDIR);
        if (readOnly(target.c_str(), fileStat))
            return fail(EACCES);
        int readError = 0;
        if (!readFile(target, text, readError))
            return fail(readError);
    }
    const std::filesystem::path folder = target.parent_path();
    struct stat folderStat { };
    if (::stat(folder.c_str(), &folderStat) != 0)
        return fail(errno);
    if (readOnly(folder.c_str(), folderStat))
        return fail(EACCES);

    const std::string newText = withValue(text, section, key, value);

    // A new file gets the usual mode (the umask applies at creation); an existing one keeps its
    // mode, and its owner where the system allows.
    std::string temp;
    const int fd = createBeside(target, exists ? 0600 : 0666, temp);
    if (fd < 0)
        return fail(errno);
    auto abandon = [&](int code) {
        ::close(fd);
        ::unlink(temp.c_str());
        return fail(code);
    };
    if (!writeAll(fd, newText))
        return abandon(errno);
    if (exists) {
        if (::fchown(fd, fileStat.st_uid, fileStat.st_gid) != 0) {
            // Not allowed for other users' files; the mode is kept all the same.
        }
        if (::fchmod(fd, fileStat.st_mode & 07777) != 0)
            return abandon(errno);
    }
    if (::fsync(fd) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return fail(code);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return fail(code);
    }
    // Make the rename itself durable; a failure here does not undo the write.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

} // namespace ini
