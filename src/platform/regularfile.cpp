#include "regularfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace regular {

namespace {

    Result failed(int error)
    {
        if (error == ENOENT || error == ENOTDIR)
            return { Status::Missing, error };
        return { Status::Failed, error };
    }

    // Read-only by its mode bits (which root ignores) or by the system's say for this user.
    bool readOnly(const char* path, const struct stat& st)
    {
        return (st.st_mode & 0222) == 0 || ::access(path, W_OK) != 0;
    }

    // Writes into the file itself; see write().
    Result writeInPlace(
        const std::filesystem::path& target, std::string_view text, const struct stat& existing)
    {
        const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return failed(errno);
        auto give = [fd](Result result) {
            ::close(fd);
            return result;
        };
        struct stat now { };
        if (::fstat(fd, &now) != 0)
            return give(failed(errno));
        if (!S_ISREG(now.st_mode))
            return give({ Status::NotRegular, 0 });
        if (now.st_dev != existing.st_dev || now.st_ino != existing.st_ino)
            return give({ Status::Failed, EAGAIN }); // exchanged since it was read
        const off_t oldSize = now.st_size;
        const off_t newSize = off_t(text.size());
        if (newSize > oldSize) {
            const int reserved = ::posix_fallocate(fd, oldSize, newSize - oldSize);
            if (reserved != 0) {
                if (::ftruncate(fd, oldSize) != 0) {
                    // The old content stands all the same; only its length may have grown.
                }
                return give({ Status::Failed, reserved });
            }
        }
        if (!writeAll(fd, text) || ::ftruncate(fd, newSize) != 0 || ::fsync(fd) != 0)
            return give(failed(errno));
        return ::close(fd) == 0 ? Result { Status::Ok, 0 } : failed(errno);
    }

    Result judge(const struct stat& st)
    {
        if (!S_ISREG(st.st_mode))
            return { Status::NotRegular, 0 };
        if (std::uintmax_t(st.st_size) > kMaxFileSize)
            return { Status::TooLarge, 0 };
        return { Status::Ok, 0 };
    }

} // namespace

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

FileBeside::FileBeside(std::filesystem::path target)
    : mTarget(std::move(target))
{
}

FileBeside::~FileBeside()
{
    abandon();
}

bool FileBeside::create(mode_t mode)
{
    abandon();
    mFd = createBeside(mTarget, mode, mName);
    if (mFd < 0)
        mName.clear();
    return mFd >= 0;
}

bool FileBeside::write(std::string_view bytes)
{
    if (writeAll(mFd, bytes))
        return true;
    const int code = errno;
    abandon();
    errno = code;
    return false;
}

bool FileBeside::finish()
{
    if (mName.empty()) {
        errno = EBADF;
        return false;
    }
    if (mFd < 0)
        return true; // finished before
    // EINVAL: a file that cannot be synced (some special file systems); it is closed all the same.
    const bool synced = ::fsync(mFd) == 0 || errno == EINVAL;
    int code = synced ? 0 : errno;
    if (::close(mFd) != 0 && code == 0)
        code = errno; // a delayed write error shows here
    mFd = -1;
    if (code == 0)
        return true;
    abandon();
    errno = code;
    return false;
}

bool FileBeside::commit()
{
    if (!finish())
        return false;
    if (::rename(mName.c_str(), mTarget.c_str()) != 0) {
        const int code = errno;
        abandon();
        errno = code;
        return false;
    }
    mName.clear();
    // Make the rename itself durable; a failure here does not undo the write.
    const std::filesystem::path folder
        = mTarget.has_parent_path() ? mTarget.parent_path() : std::filesystem::path(".");
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

void FileBeside::abandon()
{
    if (mFd >= 0)
        ::close(mFd);
    mFd = -1;
    if (!mName.empty())
        ::unlink(mName.c_str());
    mName.clear();
}

std::string Result::reason() const
{
    switch (status) {
    case Status::Ok:
        return {};
    case Status::NotRegular:
        return "not a regular file";
    case Status::TooLarge:
        return "larger than 64 MiB";
    case Status::Missing:
    case Status::Failed:
        break;
    }
    return std::strerror(error);
}

Result inspect(const std::filesystem::path& file, struct stat* st)
{
    struct stat own { };
    struct stat& s = st ? *st : own;
    if (::stat(file.c_str(), &s) != 0)
        return failed(errno);
    return judge(s);
}

Result read(const std::filesystem::path& file, std::string& bytes, struct stat* st)
{
    struct stat own { };
    struct stat& s = st ? *st : own;
    Result result = inspect(file, &s);
    if (!result.ok())
        return result;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return failed(errno);
    // The file may have been exchanged since the look above: judge what was opened.
    result = ::fstat(fd, &s) == 0 ? judge(s) : failed(errno);
    bytes.clear();
    if (result.ok())
        bytes.reserve(std::size_t(s.st_size));
    char buffer[65536];
    while (result.ok()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            result = failed(errno);
        else if (n == 0)
            break;
        else if (bytes.size() + std::size_t(n) > kMaxFileSize)
            result = { Status::TooLarge, 0 }; // it grew while being read
        else
            bytes.append(buffer, std::size_t(n));
    }
    ::close(fd);
    if (!result.ok())
        bytes.clear();
    return result;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

Result write(
    const std::filesystem::path& target, std::string_view text, const struct stat* existing)
{
    if (text.size() > kMaxFileSize)
        return { Status::TooLarge, 0 };
    if (existing && readOnly(target.c_str(), *existing))
        return { Status::Failed, EACCES };
    const std::filesystem::path folder = target.parent_path();
    struct stat folderStat { };
    if (::stat(folder.c_str(), &folderStat) != 0)
        return failed(errno);
    const bool folderReadOnly = readOnly(folder.c_str(), folderStat);
    if (!existing && folderReadOnly)
        return { Status::Failed, EACCES };
    if (existing && (existing->st_nlink > 1 || existing->st_uid != ::geteuid() || folderReadOnly))
        return writeInPlace(target, text, *existing);

    // A new file gets the usual mode (the umask applies at creation); an existing one keeps its
    // mode, and its owner where the system allows.
    FileBeside beside(target);
    if (!beside.create(existing ? 0600 : 0666))
        return existing ? writeInPlace(target, text, *existing) : failed(errno);
    if (!beside.write(text))
        return failed(errno);
    if (existing) {
        if (::fchown(beside.fd(), existing->st_uid, existing->st_gid) != 0) {
            // Not allowed for other users' files; the mode is kept all the same.
        }
        if (::fchmod(beside.fd(), existing->st_mode & 07777) != 0) {
            const int code = errno;
            beside.abandon();
            return failed(code);
        }
    }
    if (!beside.commit())
        return failed(errno);
    return { Status::Ok, 0 };
}

} // namespace regular
