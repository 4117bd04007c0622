#pragma once

#include "registry.h"

#include <QString>
#include <QStringList>
#include <ostream>

// rudimix-launch, which the desktop entry runs: gives the user a host folder of their own the
// first time, then starts rudimix.
namespace launcher {

// The registered host folder: the registry value ExeIniLocn as rudimix reads it (a plain string
// of 1 to 255 bytes); empty when there is none that rudimix would use.
QString registeredHostFolder(IRegistry& registry);

// The per-user host folder: $XDG_DATA_HOME/tambrix, else ~/.local/share/tambrix.
QString userHostFolder();

// Where the stand-in host lies, seen from the folder of rudimix-launch: installed in
// <prefix>/lib/rudimix, else (in the build tree) beside it. Empty when it is in neither.
QString standInHost(const QString& launcherFolder);

// What makes the per-user host folder unsafe to run TAMBRIX.EXE from, in words ("<path> belongs to
// another user", "<path> can be written by other users"), checking the folder and those above it
// up to the home folder (or XDG_DATA_HOME; a symbolic link followed) and an existing TAMBRIX.EXE
// that is not the link to the stand-in host; empty when it is safe.
QString unsafeHostFolder(const QString& userFolder, const QString& standIn);

// Prepares the host folder when no usable host is registered, when the registered folder no
// longer exists, or when the registered one is the per-user folder and has lost its settings
// file: creates the folder, links TAMBRIX.EXE to the stand-in host and runs
// "TAMBRIX.EXE --init folder" through that link, which writes TAMBRIX.INI and the registry
// value. A registered host elsewhere is left alone (one without TAMBRIX.INI is named on err).
// False, with the reason on err in one line, when the folder could not be prepared, is not safe
// (unsafeHostFolder()), has a name of 256 bytes or more, which the registry value cannot hold,
// or was not registered after all (the value is read back).
bool prepareHostFolder(IRegistry& registry, const QString& userFolder, const QString& standIn,
    std::ostream& out, std::ostream& err);

} // namespace launcher
