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

// Prepares the host folder when no usable host is registered, when the registered folder no
// longer exists, or when the registered one is the per-user folder and has lost its settings
// file: creates the folder, links TAMBRIX.EXE to the stand-in host and runs
// "TAMBRIX.EXE --init folder" through that link, which writes TAMBRIX.INI and the registry
// value. A registered host elsewhere is left alone (one without TAMBRIX.INI is named on err).
// False, with the reason on err in one line, when the folder could not be prepared.
bool prepareHostFolder(IRegistry& registry, const QString& userFolder, const QString& standIn,
    std::ostream& out, std::ostream& err);

} // namespace launcher
