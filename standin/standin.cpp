#include "standin.h"

#include "cp1252.h"
#include "inifile.h"
#include "registry.h"
#include "script.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

    const char* const kHelp
        = "TAMBRIX.EXE, the stand-in host of Rudimix: reads its test scripts.\n"
          "Usage: TAMBRIX.EXE                        initialise this folder (settings, registry)\n"
          "       TAMBRIX.EXE --init DIR             initialise the host folder DIR instead\n"
          "       TAMBRIX.EXE [-notimesig] <script>  read the script and show its pattern\n"
          "       TAMBRIX.EXE --version | --help     print the version or this text\n";

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
    const QString& scriptPath, bool noTimeSignature, std::ostream& out, std::ostream& err)
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
    if (noTimeSignature)
        out << "Time signature: not used (-notimesig)\n";
    for (const std::string& note : script.ignored)
        out << note << "\n";
    out << "Line " << script.definitionLine << ": " << script.definition << "\n";
    out << "Pattern " << kPatternName << ", played on line " << script.playLine << ": "
        << script.notes.size() << (script.notes.size() == 1 ? " note" : " notes") << "\n";
    out << formatPattern(script);
    out << "(The stand-in host shows the pattern; it plays no sound.)\n";
    return Success;
}

int run(const QStringList& arguments, const QString& ownFolder,
    const std::filesystem::path& registryFile, std::ostream& out, std::ostream& err)
{
    // Options of the installed stand-in: print a text, or initialise a given host folder.
    if (arguments.value(0) == QLatin1String("--version")) {
        out << "TAMBRIX.EXE (Rudimix stand-in host) " RUDIMIX_VERSION "\n";
        return Success;
    }
    if (arguments.value(0) == QLatin1String("--help")) {
        out << kHelp;
        return Success;
    }
    if (arguments.value(0) == QLatin1String("--init")) {
        if (arguments.size() != 2 || arguments.at(1).isEmpty()) {
            err << kHelp;
            return BadArguments;
        }
        return initialise(QFileInfo(arguments.at(1)).absoluteFilePath(), registryFile, out, err);
    }
    if (arguments.isEmpty())
        return initialise(ownFolder, registryFile, out, err);
    const bool noTimeSignature = arguments.first() == QLatin1String("-notimesig");
    const QStringList rest = noTimeSignature ? arguments.mid(1) : arguments;
    if (rest.size() != 1 || rest.first().startsWith(u'-')) {
        err << "Usage: TAMBRIX.EXE                        initialise (settings file, registry)\n"
               "       TAMBRIX.EXE [-notimesig] <script>  read the script and show its pattern\n";
        return BadArguments;
    }
    return playScript(rest.first(), noTimeSignature, out, err);
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

namespace standin {

QString ownFolder(const QString& startedAs, const QString& programFolder)
{
    if (!startedAs.contains(u'/'))
        return programFolder;
    return QDir::cleanPath(QFileInfo(startedAs).absolutePath());
}

QString logFolder(const QStringList& arguments, const QString& ownFolder)
{
    const QString first = arguments.value(0);
    if (first == QLatin1String("--version") || first == QLatin1String("--help"))
        return {};
    if (first == QLatin1String("--init") && arguments.size() == 2 && !arguments.at(1).isEmpty())
        return QFileInfo(arguments.at(1)).absoluteFilePath();
    return ownFolder;
}

} // namespace standin
