#include "quickhandover.h"

#include "runtimefolder.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace standin {

namespace {

    bool startsWith(const std::string& text, const char* start)
    {
        return text.rfind(start, 0) == 0;
    }

    // The UTF-16 code units of UTF-8 text; false when it is not UTF-8.
    bool utf16(const std::string& text, std::vector<std::uint16_t>& units)
    {
        for (std::size_t i = 0; i < text.size();) {
            const unsigned char c = text[i];
            int length = c < 0x80 ? 1
                : (c >> 5) == 6   ? 2
                : (c >> 4) == 14  ? 3
                : (c >> 3) == 30  ? 4
                                  : 0;
            if (length == 0 || i + length > text.size())
                return false;
            std::uint32_t code = length == 1 ? c : c & (0x7F >> length);
            for (int k = 1; k < length; ++k) {
                const unsigned char next = text[i + k];
                if ((next >> 6) != 2)
                    return false;
                code = code << 6 | (next & 0x3F);
            }
            const std::uint32_t least[] = { 0, 0, 0x80, 0x800, 0x10000 };
            if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
                return false;
            if (code >= 0x10000) {
                units.push_back(std::uint16_t(0xD800 + ((code - 0x10000) >> 10)));
                units.push_back(std::uint16_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
            } else {
                units.push_back(std::uint16_t(code));
            }
            i += length;
        }
        return true;
    }

    // The path made absolute against the current folder, with "//", "." and ".." resolved
    // without looking at the files (as QFileInfo::absoluteFilePath() does).
    std::string absoluteClean(const std::string& path)
    {
        std::string whole = path;
        if (path.empty() || path[0] != '/') {
            std::vector<char> folder(4096);
            if (!::getcwd(folder.data(), folder.size()))
                return {};
            whole = std::string(folder.data()) + "/" + path;
        }
        std::vector<std::string> parts;
        for (std::size_t at = 0; at <= whole.size();) {
            std::size_t end = whole.find('/', at);
            if (end == std::string::npos)
                end = whole.size();
            const std::string part = whole.substr(at, end - at);
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            at = end + 1;
        }
        std::string clean;
        for (const std::string& part : parts)
            clean += "/" + part;
        return clean.empty() ? "/" : clean;
    }

    void putBigEndian(std::string& bytes, std::uint64_t value, int size)
    {
        for (int shift = (size - 1) * 8; shift >= 0; shift -= 8)
            bytes.push_back(char((value >> shift) & 0xFF));
    }

    std::uint32_t bigEndian32(const std::string& bytes, std::size_t at)
    {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i)
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    }

    // QDataStream's string: its length in bytes (0xffffffff for a null one) and its UTF-16 units.
    void putString(std::string& bytes, const std::string& text)
    {
        std::vector<std::uint16_t> units;
        if (!utf16(text, units))
            units.clear();
        putBigEndian(bytes, units.size() * 2, 4);
        for (std::uint16_t unit : units)
            putBigEndian(bytes, unit, 2);
    }

    void putUtf8(std::string& text, std::uint32_t code)
    {
        if (code < 0x80) {
            text.push_back(char(code));
        } else if (code < 0x800) {
            text.push_back(char(0xC0 | code >> 6));
            text.push_back(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            text.push_back(char(0xE0 | code >> 12));
            text.push_back(char(0x80 | (code >> 6 & 0x3F)));
            text.push_back(char(0x80 | (code & 0x3F)));
        } else {
            text.push_back(char(0xF0 | code >> 18));
            text.push_back(char(0x80 | (code >> 12 & 0x3F)));
            text.push_back(char(0x80 | (code >> 6 & 0x3F)));
            text.push_back(char(0x80 | (code & 0x3F)));
        }
    }

    // UTF-16 big-endian units as UTF-8; a lone surrogate becomes U+FFFD.
    std::string fromUtf16(const std::string& bytes, std::size_t at, std::size_t size)
    {
        auto unitAt = [&bytes](std::size_t i) {
            return std::uint32_t(static_cast<unsigned char>(bytes[i])) << 8
                | static_cast<unsigned char>(bytes[i + 1]);
        };
        std::string text;
        for (std::size_t i = at; i + 1 < at + size; i += 2) {
            std::uint32_t unit = unitAt(i);
            if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < at + size) {
                const std::uint32_t low = unitAt(i + 2);
                if (low >= 0xDC00 && low < 0xE000) {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            putUtf8(text, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
        }
        return text;
    }

} // namespace

std::string handoverSocketPath(std::string& error, std::string* notice)
{
    std::string folder;
    if (!userRuntimeFolder(folder, error))
        return {};
    const std::string usual = folder + "/" + kHandoverSocketName;
    if (usual.size() <= kMaxSocketPathBytes)
        return usual;
    const std::string tooLong = "the socket path " + usual + " is " + std::to_string(usual.size())
        + " bytes long, more than a socket's " + std::to_string(kMaxSocketPathBytes);
    // The user's own folder in /tmp, whose path is short.
    const std::string fallback = "/tmp/rudimix-" + std::to_string(::geteuid());
    std::string fault;
    struct stat st { };
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST)
        fault = "cannot be created: " + std::string(std::strerror(errno));
    else if (::lstat(fallback.c_str(), &st) != 0)
        fault = std::strerror(errno);
    else
        fault = ownedFault(st, true);
    if (!fault.empty()) {
        error = tooLong + ", and " + fallback + " " + fault;
        return {};
    }
    const std::string path = fallback + "/" + kHandoverSocketName;
    if (notice)
        *notice = tooLong + "; the window listens on " + path;
    return path;
}

bool plainWindowArguments(int argc, char** argv, std::string& script, bool& noTimeSignature)
{
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const std::string platform
        = std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    if (!((display && *display) || (wayland && *wayland)) || startsWith(platform, "offscreen")
        || startsWith(platform, "minimal"))
        return false;
    std::string operand;
    bool soundFont = false;
    bool driver = false;
    noTimeSignature = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-notimesig" && !noTimeSignature) {
            noTimeSignature = true;
            continue;
        }
        bool* given = nullptr;
        for (const auto& [name, flag] :
            { std::pair { "--soundfont", &soundFont }, std::pair { "--audio-driver", &driver } }) {
            if (argument == name || startsWith(argument, (std::string(name) + "=").c_str()))
                given = flag;
        }
        if (given) {
            const bool inline_ = argument.find('=') != std::string::npos;
            const std::string value = inline_ ? argument.substr(argument.find('=') + 1)
                : i + 1 < argc                ? std::string(argv[++i])
                                              : std::string();
            if (*given || value.empty())
                return false;
            *given = true;
            continue;
        }
        if (argument.empty() || (argument[0] == '-' && argument.size() > 1) || !operand.empty())
            return false;
        operand = argument;
    }
    std::vector<std::uint16_t> units;
    if (operand.empty() || !utf16(operand, units))
        return false;
    script = absoluteClean(operand);
    units.clear();
    return !script.empty() && utf16(script, units);
}

std::string handoverMessage(const std::string& script, bool noTimeSignature, double startedAt)
{
    // QDataStream's forms: a string as its length in bytes and its UTF-16 units, big-endian; a
    // bool as one byte; a double as its 8 bytes, big-endian.
    std::string bytes;
    putString(bytes, script);
    bytes.push_back(noTimeSignature ? 1 : 0);
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof startedAt);
    std::memcpy(&bits, &startedAt, sizeof bits);
    putBigEndian(bytes, bits, 8);
    return bytes;
}

std::string encodeHandoverAnswer(const HandoverAnswer& answer)
{
    std::string bytes;
    putBigEndian(bytes, std::uint32_t(answer.outcome), 4);
    putBigEndian(bytes, std::uint32_t(answer.code), 4);
    putString(bytes, answer.message.substr(0, 1000));
    return bytes;
}

AnswerRead decodeHandoverAnswer(const std::string& bytes, HandoverAnswer& answer)
{
    if (bytes.size() < 12)
        return AnswerRead::Incomplete;
    const std::uint32_t outcome = bigEndian32(bytes, 0);
    const std::uint32_t length = bigEndian32(bytes, 8);
    if (outcome > std::uint32_t(HandoverOutcome::Closing)
        || (length != 0xFFFFFFFFu && (length % 2 != 0 || length > kMaxHandoverBytes)))
        return AnswerRead::Malformed;
    const std::size_t size = length == 0xFFFFFFFFu ? 0 : length;
    if (bytes.size() < 12 + size)
        return AnswerRead::Incomplete;
    answer.outcome = HandoverOutcome(outcome);
    answer.code = int(std::int32_t(bigEndian32(bytes, 4)));
    answer.message = fromUtf16(bytes, 12, size);
    return AnswerRead::Complete;
}

bool quickHandOver(
    const std::string& socket, const std::string& message, HandoverAnswer& answer, int timeoutMs)
{
    sockaddr_un address {};
    if (socket.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket.c_str(), socket.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto waitFor = [&](short events) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p { fd, events, 0 };
        return left.count() > 0 && ::poll(&p, 1, int(left.count())) == 1 && (p.revents & events);
    };
    bool handed = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    for (std::size_t sent = 0; handed && sent < message.size();) {
        const ssize_t n = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n > 0)
            sent += std::size_t(n);
        else if (n < 0 && errno != EINTR && !(errno == EAGAIN && waitFor(POLLOUT)))
            handed = false;
    }
    // The answer comes once the window has read the script (a long one takes a moment).
    deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs * 5);
    std::string reply;
    AnswerRead read = AnswerRead::Incomplete;
    while (handed && read == AnswerRead::Incomplete && reply.size() <= kMaxHandoverBytes + 12) {
        char buffer[512];
        if (!waitFor(POLLIN))
            break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            reply.append(buffer, std::size_t(n));
            read = decodeHandoverAnswer(reply, answer);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fd);
    return handed && read == AnswerRead::Complete;
}

} // namespace standin
