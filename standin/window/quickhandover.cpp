#include "quickhandover.h"

#include "runtimefolder.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace standin {

namespace {

    const char kReply[] = "ok";

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

} // namespace

std::string handoverSocketPath(std::string& error)
{
    std::string folder;
    if (!userRuntimeFolder(folder, error))
        return {};
    return folder + "/rudimix-tambrix.socket";
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
    std::vector<std::uint16_t> units;
    utf16(script, units);
    std::string bytes;
    putBigEndian(bytes, units.size() * 2, 4);
    for (std::uint16_t unit : units)
        putBigEndian(bytes, unit, 2);
    bytes.push_back(noTimeSignature ? 1 : 0);
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof startedAt);
    std::memcpy(&bits, &startedAt, sizeof bits);
    putBigEndian(bytes, bits, 8);
    return bytes;
}

bool quickHandOver(const std::string& socket, const std::string& message, int timeoutMs)
{
    sockaddr_un address {};
    if (socket.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket.c_str(), socket.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
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
    std::string reply;
    while (handed && reply.size() < sizeof kReply - 1) {
        char buffer[16];
        if (!waitFor(POLLIN)) {
            handed = false;
            break;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n > 0)
            reply.append(buffer, std::size_t(n));
        else if (n == 0 || errno != EINTR)
            handed = false;
    }
    ::close(fd);
    return handed && reply == kReply;
}

} // namespace standin
