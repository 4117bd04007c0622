#include "performancelock.h"

#include "runtimefolder.h"
#include "stopsignals.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

    int openLockFile(std::string& error)
    {
        std::string file;
        if (!performanceLockFile(file, error))
            return -1;
        struct stat st;
        if (::lstat(file.c_str(), &st) == 0 && !ownedFault(st, false).empty()) {
            error = "the lock file " + file + " " + ownedFault(st, false) + "; remove it";
            return -1;
        }
        const int fd
            = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0) {
            error = "cannot open the lock file " + file + ": " + std::strerror(errno);
            return -1;
        }
        if (::fstat(fd, &st) != 0 || !ownedFault(st, false).empty()) {
            ::close(fd);
            error = "the lock file " + file + " is not a file of this user; remove it";
            return -1;
        }
        return fd;
    }

    struct flock wholeFile(short type)
    {
        struct flock lock { };
        lock.l_type = type;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0;
        lock.l_len = 0;
        return lock;
    }

    bool tryLock(int fd)
    {
        struct flock lock = wholeFile(F_WRLCK);
        return ::fcntl(fd, F_SETLK, &lock) == 0;
    }

    // The process that holds the lock, 0 when none does.
    pid_t holder(int fd)
    {
        struct flock lock = wholeFile(F_WRLCK);
        if (::fcntl(fd, F_GETLK, &lock) != 0 || lock.l_type == F_UNLCK)
            return 0;
        return lock.l_pid;
    }

    // Asks the holder to stop its sound (SIGUSR1) until the lock is free (or, when lockIt, until
    // this process has it); after 0.4 seconds SIGTERM ends it, after 1.2 seconds SIGKILL. False
    // after two seconds.
    bool endHolder(int fd, bool lockIt, pid_t& ended)
    {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        pid_t asked = 0;
        int sent = 0; // 1: SIGUSR1, 2: SIGTERM, 3: SIGKILL
        while (true) {
            if (lockIt ? tryLock(fd) : holder(fd) == 0)
                return true;
            const pid_t pid = holder(fd);
            const auto waited = Clock::now() - start;
            if (pid > 0 && pid != asked) {
                ::kill(pid, silenceSignal());
                asked = pid;
                ended = pid;
                sent = 1;
            } else if (pid > 0 && sent == 1 && waited > std::chrono::milliseconds(400)) {
                ::kill(pid, SIGTERM);
                sent = 2;
            } else if (pid > 0 && sent == 2 && waited > std::chrono::milliseconds(1200)) {
                ::kill(pid, SIGKILL);
                sent = 3;
            }
            if (waited > std::chrono::seconds(2))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

} // namespace

bool performanceLockFile(std::string& file, std::string& error)
{
    std::string folder;
    if (!userRuntimeFolder(folder, error))
        return false;
    file = folder + "/rudimix-tambrix.lock";
    return true;
}

PerformanceLock::~PerformanceLock()
{
    if (fd >= 0)
        ::close(fd); // releases the lock
}

SoundResult PerformanceLock::acquire(std::string& error)
{
    if (fd < 0)
        fd = openLockFile(error);
    if (fd < 0)
        return SoundResult::LockUnusable;
    pid_t ended = 0;
    if (endHolder(fd, true, ended))
        return SoundResult::Ok;
    error = "the performance of process " + std::to_string(ended) + " could not be stopped";
    return SoundResult::PlayerNotStopped;
}

SoundResult PerformanceLock::stopPlaying(int& stoppedProcess, std::string& error)
{
    stoppedProcess = 0;
    const int fd = openLockFile(error);
    if (fd < 0)
        return SoundResult::LockUnusable;
    pid_t ended = 0;
    const bool done = endHolder(fd, false, ended);
    ::close(fd);
    stoppedProcess = ended;
    if (done)
        return SoundResult::Ok;
    error = "the performance of process " + std::to_string(ended) + " could not be stopped";
    return SoundResult::PlayerNotStopped;
}

} // namespace standin
