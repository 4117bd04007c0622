#include "playerlock.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

    volatile std::sig_atomic_t stopFlag = 0;

    void onStopSignal(int)
    {
        stopFlag = 1;
    }

    int openLockFile(std::string& error)
    {
        const std::string file = playerLockFile();
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            error = "cannot open the lock file " + file + ": " + std::strerror(errno);
            return -1;
        }
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            ::close(fd);
            error = "the lock file " + file + " is not a file of this user";
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

    // Sends SIGTERM to the holder until the lock is free (or, when lockIt, until this process
    // has it); after a second without success, SIGKILL. False after two seconds.
    bool endHolder(int fd, bool lockIt, pid_t& ended)
    {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        pid_t signalled = 0;
        bool killed = false;
        while (true) {
            if (lockIt ? tryLock(fd) : holder(fd) == 0)
                return true;
            const pid_t pid = holder(fd);
            const auto waited = Clock::now() - start;
            if (pid > 0 && pid != signalled) {
                ::kill(pid, SIGTERM);
                signalled = pid;
                ended = pid;
            } else if (pid > 0 && !killed && waited > std::chrono::seconds(1)) {
                ::kill(pid, SIGKILL);
                killed = true;
            }
            if (waited > std::chrono::seconds(2))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

} // namespace

std::string playerLockFile()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st;
    if (runtime && *runtime && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
        return std::string(runtime) + "/rudimix-tambrix.lock";
    return "/tmp/rudimix-tambrix-" + std::to_string(::geteuid()) + ".lock";
}

PlayerLock::~PlayerLock()
{
    if (fd >= 0)
        ::close(fd); // releases the lock
}

bool PlayerLock::acquire(std::string& error)
{
    if (fd < 0)
        fd = openLockFile(error);
    if (fd < 0)
        return false;
    pid_t ended = 0;
    if (endHolder(fd, true, ended))
        return true;
    error = "the performance of process " + std::to_string(ended) + " could not be stopped";
    return false;
}

bool PlayerLock::stopPlaying(int& stoppedProcess, std::string& error)
{
    stoppedProcess = 0;
    const int fd = openLockFile(error);
    if (fd < 0)
        return false;
    pid_t ended = 0;
    const bool done = endHolder(fd, false, ended);
    ::close(fd);
    stoppedProcess = ended;
    if (!done)
        error = "the performance of process " + std::to_string(ended) + " could not be stopped";
    return done;
}

void catchStopSignals()
{
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
}

bool stopRequested()
{
    return stopFlag != 0;
}

} // namespace standin
