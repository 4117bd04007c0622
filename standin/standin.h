#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <ostream>

// The stand-in host TAMBRIX.EXE: what it does when run, apart from main().
namespace standin {

enum ExitCode { Success = 0, BadScript = 1, BadArguments = 2, InitialisationFailed = 3 };

// Run with no argument: creates TAMBRIX.INI (with a section "[program]") in the folder when it is
// missing and writes the folder as the registry value "ExeIniLocn" under
// "software\Quillmoor Tambrix\" into the registry file.
int initialise(const QString& folder, const std::filesystem::path& registryFile, std::ostream& out,
    std::ostream& err);

// Run on a script: reads it, prints the settings of its header and the pattern as a table.
int playScript(
    const QString& scriptPath, bool noTimeSignature, std::ostream& out, std::ostream& err);

// The whole run for the command-line arguments (the program's name not included): none
// initialises ownFolder, "--init DIR" initialises DIR, "--version" and "--help" print a text.
int run(const QStringList& arguments, const QString& ownFolder,
    const std::filesystem::path& registryFile, std::ostream& out, std::ostream& err);

// The folder the stand-in counts as its own: that of the path it was started by, with symbolic
// links not resolved, since a per-user host folder holds a link TAMBRIX.EXE to the installed
// program (whose folder is not writable). A bare name found on PATH gives programFolder.
QString ownFolder(const QString& startedAs, const QString& programFolder);

// Where TAMBRIX.LOG goes for these arguments: the folder given to --init, else ownFolder. Empty
// for --version and --help, which write no log.
QString logFolder(const QStringList& arguments, const QString& ownFolder);

// Appends the text to TAMBRIX.LOG in the folder; a log grown beyond a megabyte starts afresh.
// False when it cannot be written.
bool appendLog(const QString& folder, const std::string& text);

} // namespace standin
