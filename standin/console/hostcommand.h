#pragma once

#include "exitcodes.h"
#include "perform.h"

#include <QString>
#include <QStringList>
#include <filesystem>
#include <ostream>

// The stand-in host TAMBRIX.EXE: what it does when run, apart from main().
namespace standin {

// Run with no argument: creates TAMBRIX.INI (with a section "[program]") in the folder when it is
// missing and writes the folder as the registry value "ExeIniLocn" under
// "software\Quillmoor Tambrix\" into the registry file. A folder whose name Windows-1252
// cannot hold gets no value, and an older value is removed, so that Rudimix uses its own folder.
int initialise(const QString& folder, const std::filesystem::path& registryFile, std::ostream& out,
    std::ostream& err);

// Run on a script: reads it, prints the settings of its header and the pattern as a table, then
// plays it live or writes it into the files that the options name.
int playScript(
    const QString& scriptPath, const PlayOptions& options, std::ostream& out, std::ostream& err);

// The whole run for the command-line arguments (the program's name not included): none
// initialises ownFolder, "--init DIR" initialises DIR, "--version" and "--help" print a text.
int run(const QStringList& arguments, const QString& ownFolder,
    const std::filesystem::path& registryFile, std::ostream& out, std::ostream& err);

} // namespace standin
