#include "hostcommand.h"

#include "arguments.h"
#include "cp1252.h"
#include "hostpaths.h"
#include "inifile.h"
#include "outputtarget.h"
#include "registry.h"
#include "regularfile.h"
#include "script.h"
#include "sheetfile.h"
#include "tambrix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

    std::filesystem::path toPath(const QString& path)
    {
        return std::filesystem::path(QFile::encodeName(path).toStdString());
    }

    const char* const kHelp
        = "TAMBRIX.EXE, the stand-in host of Rudimix: plays its test scripts.\n"
          "Usage: TAMBRIX.EXE                        initialise this folder (settings, registry)\n"
          "       TAMBRIX.EXE --init DIR             initialise the host folder DIR instead\n"
          "       TAMBRIX.EXE [-notimesig] [--no-window] [--soundfont FILE.sf2] [--audio-driver "
          "NAME]\n"
          "                   [--render FILE.wav] [--midi FILE.mid] [--sheet FILE] <script>\n"
          "                   play the script live, or write it into the files given (the\n"
          "                   sheet as FILE.musicxml, FILE.pdf or FILE.svg);\n"
          "                   live with a display in the practice window, unless --no-window\n"
          "       TAMBRIX.EXE --listen midi|mic|mic:SOURCE <script>\n"
          "                   the practice window, listening to MIDI or a microphone\n"
          "       TAMBRIX.EXE --stop                 end the performance that is playing\n"
          "       TAMBRIX.EXE --version | --help     print the version or this text\n"
          "An option's value follows it or comes after \"=\" (--render=out.wav); \"--\" ends the\n"
          "options; each option is given once.\n";

} // namespace

int initialise(const QString& folder, const std::filesystem::path& registryFile, std::ostream& out,
    std::ostream& err)
{
    const std::filesystem::path settings = toPath(folder) / tambrix::kSettingsFile;
    const regular::Result found = regular::inspect(settings);
    if (found.ok()) {
        out << "Settings file " << settings.string() << " is there already; left as it is.\n";
    } else if (found.status != regular::Status::Missing) {
        // Rudimix counts anything but a regular file as missing: initialised it would not be.
        err << "TAMBRIX.EXE: the settings file " << settings.string() << " cannot be used ("
            << found.reason() << "), and Rudimix counts it as missing; remove it and try again\n";
        return InitialisationFailed;
    } else {
        std::string reason;
        if (!ini::writeString(settings, tambrix::kSettingsSection, "Host", "stand-in", &reason)) {
            err << "TAMBRIX.EXE: cannot create the settings file " << settings.string() << ": "
                << reason << "\n";
            return InitialisationFailed;
        }
        out << "Created the settings file " << settings.string() << " with its section ["
            << tambrix::kSettingsSection << "].\n";
    }

    // The registry holds Windows-1252 text of at most 255 bytes (what Rudimix reads): a folder
    // name outside it or longer cannot be stored, and an older value (which would send Rudimix
    // to another folder) goes. Rudimix then finds the host only when it lies in this same
    // folder, using its own folder.
    const std::string encoded = cp1252::fromUnicode(folder);
    std::string reason;
    const bool tooLong = encoded.size() >= 256;
    if (cp1252::toUnicode(encoded) != folder || tooLong) {
        bool removed = false;
        if (!IniRegistry(registryFile)
                 .removeValue(tambrix::kRegistryKey, tambrix::kRegistryValue, &removed, &reason)) {
            err << "TAMBRIX.EXE: cannot remove the older registry value " << tambrix::kRegistryValue
                << " from " << registryFile.string() << ": " << reason << "\n";
            return InitialisationFailed;
        }
        const std::string what = "the folder name " + folder.toStdString()
            + (tooLong ? " is " + std::to_string(encoded.size())
                        + " bytes long, more than the 255 that the registry value "
                        + tambrix::kRegistryValue + " holds"
                       : std::string(" cannot be written in Windows-1252"))
            + ", so the registry value " + tambrix::kRegistryValue + " is not set"
            + (removed ? " (the older one has been removed)" : "");
        if (QFileInfo(folder + QStringLiteral("/rudimix")).isExecutable()) {
            out << "TAMBRIX.EXE: " << what
                << "; Rudimix in this same folder finds it all the same.\n"
                << "TAMBRIX.EXE is initialised.\n";
            return Success;
        }
        err << "TAMBRIX.EXE: " << what << "; Rudimix cannot find this host folder: use one "
            << (tooLong ? "with a shorter name" : "whose name Windows-1252 can hold") << "\n";
        return InitialisationFailed;
    }
    if (!IniRegistry(registryFile)
             .setString(tambrix::kRegistryKey, tambrix::kRegistryValue, encoded, &reason)) {
        err << "TAMBRIX.EXE: cannot write the registry value " << tambrix::kRegistryValue
            << " into " << registryFile.string() << ": " << reason << "\n";
        return InitialisationFailed;
    }
    out << "Registry value HKEY_CURRENT_USER\\" << tambrix::kRegistryKey << tambrix::kRegistryValue
        << " set to " << folder.toStdString() << " (in " << registryFile.string() << ").\n";
    out << "TAMBRIX.EXE is initialised.\n";
    return Success;
}

int playScript(
    const QString& scriptPath, const PlayOptions& options, std::ostream& out, std::ostream& err)
{
    // Opened without waiting (a FIFO has no writer to wait for) and read only when it is a
    // regular file: a folder, FIFO or device as the script is refused at once with its cause.
    std::string bytes;
    const regular::Result read = regular::read(toPath(scriptPath), bytes);
    if (!read.ok()) {
        err << "TAMBRIX.EXE: cannot read the script " << scriptPath.toStdString() << ": "
            << read.reason() << "\n";
        return BadScript;
    }

    Script script;
    std::string error;
    if (!parseScript(bytes, script, error)) {
        err << "TAMBRIX.EXE: " << scriptPath.toStdString() << ": " << error << "\n";
        return BadScript;
    }

    out << "Script " << scriptPath.toStdString() << "\n";
    out << "Settings (" << script.settings.size() << "):\n" << formatSettings(script);
    if (options.noTimeSignature)
        out << "Time signature: not used (-notimesig)\n";
    for (const std::string& note : script.ignored)
        out << note << "\n";
    if (script.ignoredMore > 0)
        out << "... " << script.ignoredMore << " more passed over\n";
    out << "Line " << script.definitionLine << ": " << shown(script.definition) << "\n";
    out << "Pattern " << kPatternName << ", played on line " << script.playLine << ": "
        << script.notes.size() << (script.notes.size() == 1 ? " note" : " notes") << "\n";
    out << formatPattern(script);
    return perform(script, scriptPath.toStdString(), options, out, err);
}

int run(const QStringList& arguments, const QString& ownFolder,
    const std::filesystem::path& registryFile, std::ostream& out, std::ostream& err)
{
    CommandLine line;
    std::string error;
    if (!parseArguments(arguments, line, error)) {
        err << "TAMBRIX.EXE: " << error << "\n";
        return BadArguments;
    }
    const PlayOptions& options = line.options;
    switch (line.mode) {
    case CommandLine::Mode::Version:
        out << "TAMBRIX.EXE (Rudimix stand-in host) " RUDIMIX_VERSION "\n";
        return Success;
    case CommandLine::Mode::Help:
        out << kHelp;
        return Success;
    case CommandLine::Mode::Stop:
        return stopPerformance(out, err);
    case CommandLine::Mode::InitialiseFolder:
        return initialise(QFileInfo(line.folder).absoluteFilePath(), registryFile, out, err);
    case CommandLine::Mode::Initialise:
        if (isInstalledFolder(ownFolder)) {
            err << "TAMBRIX.EXE: " << ownFolder.toStdString()
                << " is the folder it is installed in, where nothing is written; run "
                   "rudimix-launch, or TAMBRIX.EXE --init DIR for a host folder of your own\n";
            return InitialisationFailed;
        }
        return initialise(ownFolder, registryFile, out, err);
    case CommandLine::Mode::Play:
        break;
    }
    if (!line.listen.empty())
        err << "TAMBRIX.EXE: --listen needs the practice window (a display); playing without "
               "listening\n";
    // Two outputs, or an output and the script, in one file: one would be lost.
    const std::string script = QFile::encodeName(line.script).toStdString();
    const std::vector<std::pair<std::string, std::string>> outputs
        = { { "--render", options.renderFile }, { "--midi", options.midiFile },
              { "--sheet", options.sheetFile } };
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const auto& [name, path] = outputs[i];
        if (!path.empty() && sameFile(path, script)) {
            err << "TAMBRIX.EXE: the script " << script << " and an output name the same file. "
                << "Try --help.\n";
            return BadArguments;
        }
        for (std::size_t j = i + 1; j < outputs.size(); ++j) {
            if (!path.empty() && sameFile(path, outputs[j].second)) {
                err << "TAMBRIX.EXE: " << name << " and " << outputs[j].first
                    << " name the same file. Try --help.\n";
                return BadArguments;
            }
        }
    }
    if (!options.sheetFile.empty() && !checkSheetName(options.sheetFile, error)) {
        err << "TAMBRIX.EXE: " << error << ". Try --help.\n";
        return BadArguments;
    }
    return playScript(line.script, options, out, err);
}

} // namespace standin
