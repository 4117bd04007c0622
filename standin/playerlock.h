#pragma once

#include "synth.h"

#include <string>

// One live performance at a time, per user: the player holds a write lock on a lock file
// (fcntl record lock, released by the system when the player ends or crashes, so a lock left by
// a dead player does not exist). A new player, or TAMBRIX.EXE --stop, asks the system which
// process holds the lock and sends it SIGTERM.
namespace standin {

// A folder that only this user can write, for the lock and the practice window's socket:
// $XDG_RUNTIME_DIR, else $XDG_CACHE_HOME/rudimix (else ~/.cache/rudimix), made with mode 0700.
// False, with error naming the folder and what is wrong with it, when there is none.
bool userRuntimeFolder(std::string& folder, std::string& error);

// The lock file, rudimix-tambrix.lock, in userRuntimeFolder().
bool playerLockFile(std::string& file, std::string& error);

class PlayerLock {
public:
    PlayerLock() = default;
    ~PlayerLock();
    PlayerLock(const PlayerLock&) = delete;
    PlayerLock& operator=(const PlayerLock&) = delete;

    // Takes the lock, ending the performance that holds it (SIGTERM, then SIGKILL if it has not
    // ended within a second). With error set: LockUnusable when the lock file or its folder
    // cannot be used, PlayerNotStopped when the holder did not end.
    SoundResult acquire(std::string& error);

    // Ends the performance that is playing. Sets stoppedProcess to its process id (0 when none
    // was playing). Fails as acquire() does.
    static SoundResult stopPlaying(int& stoppedProcess, std::string& error);

private:
    int fd = -1;
};

// SIGTERM, SIGINT and SIGHUP set this flag instead of ending the process, so that a stopped
// player closes its audio driver in order. Called by a live performance, for which being stopped
// is the usual end (playingLive()).
void catchStopSignals();
bool playingLive();
bool stopRequested();
void requestStop(); // as one of those signals does

} // namespace standin
