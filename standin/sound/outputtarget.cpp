#include "outputtarget.h"

#include "regularfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace standin {

namespace {

    std::mutex unfinishedMutex;
    std::vector<std::string> unfinished; // temporary files of the outputs on their way

    const char* kindOf(mode_t mode)
    {
        if (S_ISCHR(mode))
            return "a character device";
        if (S_ISBLK(mode))
            return "a block device";
        if (S_ISFIFO(mode))
            return "a named pipe";
        if (S_ISSOCK(mode))
            return "a socket";
        return "not a regular file";
    }

    std::filesystem::path folderOf(const std::filesystem::path& target)
    {
        return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    }

    std::string cannotWrite(const std::filesystem::path& target, const std::string& reason)
    {
        return "cannot write " + target.string() + ": " + reason;
    }

    std::string folderReason(const std::filesystem::path& target, int code)
    {
        return "the folder " + folderOf(target).string() + " cannot take a new file ("
            + std::strerror(code) + ")";
    }

    // The target itself: missing, or a regular file. Empty when it is fine, else the reason.
    std::string targetReason(const std::filesystem::path& target)
    {
        const std::string name = target.filename().string();
        if (name.empty() || name == "." || name == "..")
            return std::strerror(EISDIR);
        struct stat st { };
        if (::stat(target.c_str(), &st) != 0)
            return errno == ENOENT ? std::string() : std::string(std::strerror(errno));
        if (S_ISDIR(st.st_mode))
            return std::strerror(EISDIR);
        if (!S_ISREG(st.st_mode))
            return std::string(kindOf(st.st_mode)) + ", which is never replaced";
        return {};
    }

    void forget(const std::string& temporary)
    {
        std::lock_guard lock(unfinishedMutex);
        unfinished.erase(
            std::remove(unfinished.begin(), unfinished.end(), temporary), unfinished.end());
    }

} // namespace

bool checkOutputTarget(const std::filesystem::path& target, std::string& error)
{
    std::string reason = targetReason(target);
    if (reason.empty()) {
        const std::filesystem::path folder = folderOf(target);
        struct stat st { };
        if (::stat(folder.c_str(), &st) != 0)
            reason = folderReason(target, errno);
        else if (!S_ISDIR(st.st_mode))
            reason = folderReason(target, ENOTDIR);
        else if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
            reason = folderReason(target, errno);
    }
    if (reason.empty())
        return true;
    error = cannotWrite(target, reason);
    return false;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code ec;
    if (a.empty() || b.empty())
        return false;
    if (std::filesystem::equivalent(a, b, ec))
        return true;
    const auto canonicalA = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ec), ec);
    if (ec)
        return false;
    const auto canonicalB = std::filesystem::weakly_canonical(std::filesystem::absolute(b, ec), ec);
    return !ec && canonicalA == canonicalB;
}

OutputFile::OutputFile(std::filesystem::path target)
    : mFile(std::move(target))
{
}

OutputFile::~OutputFile()
{
    forget(mFile.name());
    mFile.abandon();
}

bool OutputFile::fail(const std::string& reason, std::string& error)
{
    error = cannotWrite(target(), reason);
    forget(mFile.name());
    mFile.abandon();
    return false;
}

bool OutputFile::open(std::string& error)
{
    if (!checkOutputTarget(target(), error))
        return false;
    int code = 0;
    {
        std::lock_guard lock(unfinishedMutex);
        if (mFile.create(0666))
            unfinished.push_back(mFile.name());
        else
            code = errno;
    }
    return code == 0 || fail(folderReason(target(), code), error);
}

bool OutputFile::write(std::string_view bytes, std::string& error)
{
    return mFile.write(bytes) || fail(std::strerror(errno), error);
}

bool OutputFile::finish(std::string& error)
{
    if (mFinished)
        return true;
    if (!mFile.finish())
        return fail(std::strerror(errno), error);
    mFinished = true;
    return true;
}

bool OutputFile::commit(std::string& error)
{
    if (!finish(error))
        return false;
    // The target may have been exchanged since it was checked: a device or a folder put there is
    // still not replaced.
    const std::string reason = targetReason(target());
    if (!reason.empty())
        return fail(reason, error);
    const std::string name = mFile.name();
    if (!mFile.commit())
        return fail(std::strerror(errno), error);
    forget(name);
    return true;
}

void removeUnfinishedOutputs()
{
    std::lock_guard lock(unfinishedMutex);
    for (const std::string& name : unfinished)
        ::unlink(name.c_str());
    unfinished.clear();
}

} // namespace standin
