#pragma once

#include <string>
#include <sys/stat.h>

// The user's own run-time folder, for the performance lock and the practice window's socket.
namespace standin {

// A folder that only this user can write: $XDG_RUNTIME_DIR, else $XDG_CACHE_HOME/rudimix (else
// ~/.cache/rudimix), made with mode 0700. False, with error naming the folder and what is wrong
// with it, when there is none.
bool userRuntimeFolder(std::string& folder, std::string& error);

// What is wrong with a file (folder false) or folder that only this user should write, as
// lstat() saw it: "is a symbolic link", "belongs to another user", ...; empty when nothing.
std::string ownedFault(const struct stat& st, bool folder);

} // namespace standin
