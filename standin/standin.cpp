#include "standin.h"

#include "cp1252.h"
#include "inifile.h"
#include "registry.h"
#include "script.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace standin {

namespace {

    std::filesystem::path toPath(const QString& path)
    {
        return std::filesystem::path(QFile::encodeName(path).toStdString());
    }

    const char* const kRegistryKey = "software\\Quillmoor Tambrix\\";

} // namespace

int initialise(const QString& folder, const std::filesystem::path& registryFile, std::ostream& out,
    std::ostream& err)
{
    const std::filesystem::path settings = toPath(folder) / "TAMBRIX.INI";
    std::error_code ec;
    if (std::filesystem::exists(settings, ec)) {
        out << "Settings file " << settings.string() << " is there already; left as it is.\n";
    } else {
        std::string reason;
        if (!ini::writeString(settings, "program", "Host", "stand-in", &reason)) {
            err << "TAMBRIX.EXE: cannot create the settings file " << settings.string() << ": "
                << reason << "\n";
            return InitialisationFailed;
        }
        out << "Created the settings file " << settings.string()
            << " with its section [program].\n";
    }

    // The registry holds Windows-1252 text: a folder name outside it cannot be stored. Rudimix
    // then finds the host in its own folder, which is this one when they are built together.
    const std::string encoded = cp1252::fromUnicode(folder);
    if (cp1252::toUnicode(encoded) != folder) {
        err << "TAMBRIX.EXE: the folder " << folder.toStdString()
            << " cannot be written in Windows-1252; the registry value ExeIniLocn is not set.\n";
        return Success;
    }
    std::string reason;
    if (!IniRegistry(registryFile).setString(kRegistryKey, "ExeIniLocn", encoded, &reason)) {
        err << "TAMBRIX.EXE: cannot write the registry value ExeIniLocn into "
            << registryFile.string() << ": " << reason << "\n";
        return InitialisationFailed;
    }
    out << "Registry value HKEY_CURRENT_USER\\" << kRegistryKey << "ExeIniLocn set to "
        << folder.toStdString() << " (in " << registryFile.string() << ").\n";
    out << "TAMBRIX.EXE is initialised.\n";
    return Success;
}

int playScript(
    const QString& scriptPath, const PlayOptions& options, std::ostream& out, std::ostream& err)
{
    std::ifstream in(toPath(scriptPath), std::ios::binary);
    if (!in) {
        err << "TAMBRIX.EXE: cannot read the script " << scriptPath.toStdString() << ": "
            << std::strerror(errno) << "\n";
        return BadScript;
    }
    const std::string bytes { std::istreambuf_iterator<char>(in),
        std::istreambuf_iterator<char>() };
    if (in.bad()) {
        err << "TAMBRIX.EXE: cannot read the script " << scriptPath.toStdString() << "\n";
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
    out << "Line " << script.definitionLine << ": " << script.definition << "\n";
    out << "Pattern " << kPatternName << ", played on line " << script.playLine << ": "
        << script.notes.size() << (script.notes.size() == 1 ? " note" : " notes") << "\n";
    out << formatPattern(script);
    return perform(script, scriptPath.toStdString(), options, out, err);
}

int run(const QStringList& arguments, const QString& ownFolder,
    const std::filesystem::path& registryFile, std::ostream& out, std::ostream& err)
{
    if (arguments.isEmpty())
        return initialise(ownFolder, registryFile, out, err);
    if (arguments == QStringList { QStringLiteral("--stop") })
        return stopPerformance(out, err);
    PlayOptions options;
    QStringList rest;
    bool usable = true;
    for (qsizetype i = 0; i < arguments.size() && usable; ++i) {
        const QString& argument = arguments[i];
        std::string* value = argument == QLatin1String("--soundfont") ? &options.soundFont
            : argument == QLatin1String("--audio-driver")             ? &options.audioDriver
            : argument == QLatin1String("--render")                   ? &options.renderFile
            : argument == QLatin1String("--midi")                     ? &options.midiFile
                                                                      : nullptr;
        if (argument == QLatin1String("-notimesig") && !options.noTimeSignature)
            options.noTimeSignature = true;
        else if (value && value->empty() && i + 1 < arguments.size() && !arguments[i + 1].isEmpty())
            *value = QFile::encodeName(arguments[++i]).toStdString();
        else if (argument.startsWith(u'-'))
            usable = false;
        else
            rest.append(argument);
    }
    if (!usable || rest.size() != 1) {
        err << "Usage: TAMBRIX.EXE                        initialise (settings file, registry)\n"
               "       TAMBRIX.EXE [-notimesig] [--soundfont FILE.sf2] [--audio-driver NAME]\n"
               "                   [--render FILE.wav] [--midi FILE.mid] <script>\n"
               "                   play the script live, or write it into the files given\n"
               "       TAMBRIX.EXE --stop                 end the performance that is playing\n";
        return BadArguments;
    }
    return playScript(rest.first(), options, out, err);
}

bool appendLog(const QString& folder, const std::string& text)
{
    const std::filesystem::path log = toPath(folder) / "TAMBRIX.LOG";
    std::error_code ec;
    const auto size = std::filesystem::file_size(log, ec);
    const bool restart = !ec && size > 1024 * 1024;
    std::ofstream file(log, std::ios::binary | (restart ? std::ios::trunc : std::ios::app));
    file << text;
    file.close();
    return bool(file);
}

} // namespace standin
