#include "playerlock.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

    std::atomic<bool> stopFlag { false }; // lock-free: safe in a signal handler
    std::atomic<bool> live { false };

    void onStopSignal(int)
    {
        stopFlag = true;
    }

    // What is wrong with a file or folder that only this user should write; empty when nothing.
    std::string fault(const struct stat& st, bool folder)
    {
        if (S_ISLNK(st.st_mode))
            return "is a symbolic link";
        if (folder && !S_ISDIR(st.st_mode))
            return "is not a folder";
        if (!folder && !S_ISREG(st.st_mode))
            return S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file";
        if (st.st_uid != ::geteuid())
            return "belongs to another user";
        if (folder && (st.st_mode & 022) != 0)
            return "can be written by other users";
        return {};
    }

    std::string absoluteVariable(const char* name)
    {
        const char* value = std::getenv(name);
        return value && value[0] == '/' ? value : "";
    }

    int openLockFile(std::string& error)
    {
        std::string file;
        if (!playerLockFile(file, error))
            return -1;
        struct stat st;
        if (::lstat(file.c_str(), &st) == 0 && !fault(st, false).empty()) {
            error = "the lock file " + file + " " + fault(st, false) + "; remove it";
            return -1;
        }
        const int fd
            = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0) {
            error = "cannot open the lock file " + file + ": " + std::strerror(errno);
            return -1;
        }
        if (::fstat(fd, &st) != 0 || !fault(st, false).empty()) {
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

bool userRuntimeFolder(std::string& folder, std::string& error)
{
    const std::string runtime = absoluteVariable("XDG_RUNTIME_DIR");
    struct stat st;
    if (!runtime.empty() && ::stat(runtime.c_str(), &st) == 0 && fault(st, true).empty()) {
        folder = runtime;
        return true;
    }
    std::string cache = absoluteVariable("XDG_CACHE_HOME");
    if (cache.empty()) {
        const std::string home = absoluteVariable("HOME");
        const passwd* user = home.empty() ? ::getpwuid(::geteuid()) : nullptr;
        cache
            = (home.empty() && user && user->pw_dir ? std::string(user->pw_dir) : home) + "/.cache";
    }
    folder = cache + "/rudimix";
    std::error_code ec;
    std::filesystem::create_directories(cache, ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create the lock folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (::lstat(folder.c_str(), &st) != 0) {
        error = "cannot use the lock folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (!fault(st, true).empty()) {
        error = "the lock folder " + folder + " " + fault(st, true);
        return false;
    }
    return true;
}

bool playerLockFile(std::string& file, std::string& error)
{
    std::string folder;
    if (!userRuntimeFolder(folder, error))
        return false;
    file = folder + "/rudimix-tambrix.lock";
    return true;
}

PlayerLock::~PlayerLock()
{
    if (fd >= 0)
        ::close(fd); // releases the lock
}

SoundResult PlayerLock::acquire(std::string& error)
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

SoundResult PlayerLock::stopPlaying(int& stoppedProcess, std::string& error)
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

bool playingLive()
{
    return live;
}

void catchStopSignals()
{
    live = true;
    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
}

bool stopRequested()
{
    return stopFlag;
}

void requestStop()
{
    stopFlag = true;
}

} // namespace standin
