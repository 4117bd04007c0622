#pragma once

#include <string>

// One live performance at a time, per user: the player holds a write lock on a lock file
// (fcntl record lock, released by the system when the player ends or crashes, so a lock left by
// a dead player does not exist). A new player, or TAMBRIX.EXE --stop, asks the system which
// process holds the lock and sends it SIGTERM.
namespace standin {

// $XDG_RUNTIME_DIR/rudimix-tambrix.lock, else /tmp/rudimix-tambrix-<uid>.lock.
std::string playerLockFile();

class PlayerLock {
public:
    PlayerLock() = default;
    ~PlayerLock();
    PlayerLock(const PlayerLock&) = delete;
    PlayerLock& operator=(const PlayerLock&) = delete;

    // Takes the lock, ending the performance that holds it (SIGTERM, then SIGKILL if it has not
    // ended within a second). False, with error set, when the lock cannot be had.
    bool acquire(std::string& error);

    // Ends the performance that is playing. Sets stoppedProcess to its process id (0 when none
    // was playing). False, with error set, when it cannot be ended.
    static bool stopPlaying(int& stoppedProcess, std::string& error);

private:
    int fd = -1;
};

// SIGTERM, SIGINT and SIGHUP set this flag instead of ending the process, so that a stopped
// player closes its audio driver in order.
void catchStopSignals();
bool stopRequested();

} // namespace standin
