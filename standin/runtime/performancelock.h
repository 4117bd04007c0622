#pragma once

#include "exitcodes.h"

#include <string>

// One live performance at a time, per user: the player holds a write lock on a lock file
// (fcntl record lock, released by the system when the player ends or crashes, so a lock left by
// a dead player does not exist). A new player, or TAMBRIX.EXE --stop, asks the system which
// process holds the lock and asks it to stop its sound (SIGUSR1; a window stays open).
namespace standin {

// The lock file, rudimix-tambrix.lock, in userRuntimeFolder().
bool performanceLockFile(std::string& file, std::string& error);

class PerformanceLock {
public:
    PerformanceLock() = default;
    ~PerformanceLock();
    PerformanceLock(const PerformanceLock&) = delete;
    PerformanceLock& operator=(const PerformanceLock&) = delete;

    // Takes the lock, stopping the performance that holds it (SIGUSR1; SIGTERM if it has not let
    // go within 0.4 seconds, SIGKILL after 1.2). With error set: LockUnusable when the lock file or
    // its folder cannot be used, PlayerNotStopped when the holder did not end.
    SoundResult acquire(std::string& error);

    // Ends the performance that is playing. Sets stoppedProcess to its process id (0 when none
    // was playing). Fails as acquire() does.
    static SoundResult stopPlaying(int& stoppedProcess, std::string& error);

private:
    int fd = -1;
};

} // namespace standin
