#pragma once

#include <string>

// The user's folders as the XDG base directories name them, in one place for the registry file,
// the launcher's host folder, the host's log and its run-time folder. A variable counts only when
// it holds an absolute path (a relative one is not valid); paths are the system's bytes.
namespace xdg {

// The user's home: $HOME when it is an absolute path, else the password database's entry for
// this user, else empty.
std::string homeFolder();

enum class Base { Config, Data, State, Cache };

// $XDG_CONFIG_HOME, $XDG_DATA_HOME, $XDG_STATE_HOME or $XDG_CACHE_HOME, else its default under
// the home: ~/.config, ~/.local/share, ~/.local/state, ~/.cache.
std::string baseFolder(Base base);

// $XDG_RUNTIME_DIR when it is an absolute path, else empty (it has no default).
std::string runtimeFolder();

} // namespace xdg
