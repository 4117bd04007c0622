#pragma once

#include <QString>
#include <QStringList>

// The stand-in host's folders: its own, the installed one, the user's state folder, and where
// its log goes.
namespace standin {

// The folder the stand-in counts as its own: that of the path it was started by, with symbolic
// links not resolved, since a per-user host folder holds a link TAMBRIX.EXE to the installed
// program (whose folder is not writable). A bare name found on PATH gives programFolder.
QString ownFolder(const QString& startedAs, const QString& programFolder);

// Whether the folder is one that the program was installed into (<prefix>/lib/rudimix) or that
// belongs to another user: nothing is written there at run time.
bool isInstalledFolder(const QString& folder);

// The user's own folder for the log of a host started from its installed folder:
// $XDG_STATE_HOME/tambrix (an absolute path), else ~/.local/state/tambrix.
QString userStateFolder();

// Where TAMBRIX.LOG goes for these arguments: the folder given to --init, else ownFolder, or the
// user's state folder when ownFolder is an installed one. Empty for --version and --help.
QString logFolder(const QStringList& arguments, const QString& ownFolder);

} // namespace standin
