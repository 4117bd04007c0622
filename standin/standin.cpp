#include "standin.h"

#include "cp1252.h"
#include "inifile.h"
#include "registry.h"
#include "regularfile.h"
#include "script.h"

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

    const char* const kRegistryKey = "software\\Quillmoor Tambrix\\";

    const char* const kHelp
        = "TAMBRIX.EXE, the stand-in host of Rudimix: plays its test scripts.\n"
          "Usage: TAMBRIX.EXE                        initialise this folder (settings, registry)\n"
          "       TAMBRIX.EXE --init DIR             initialise the host folder DIR instead\n"
          "       TAMBRIX.EXE [-notimesig] [--no-window] [--soundfont FILE.sf2] [--audio-driver "
          "NAME]\n"
          "                   [--render FILE.wav] [--midi FILE.mid] <script>\n"
          "                   play the script live, or write it into the files given;\n"
          "                   live with a display in the practice window, unless --no-window\n"
          "       TAMBRIX.EXE --stop                 end the performance that is playing\n"
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
    // then finds the host in its own folder, which is this one when they are built together; an
    // older value would send it to another folder, so it goes.
    const std::string encoded = cp1252::fromUnicode(folder);
    std::string reason;
    if (cp1252::toUnicode(encoded) != folder) {
        err << "TAMBRIX.EXE: the folder " << folder.toStdString()
            << " cannot be written in Windows-1252; the registry value ExeIniLocn is not set.\n";
        bool removed = false;
        if (!IniRegistry(registryFile).removeValue(kRegistryKey, "ExeIniLocn", &removed, &reason)) {
            err << "TAMBRIX.EXE: cannot remove the older registry value ExeIniLocn from "
                << registryFile.string() << ": " << reason << "\n";
            return InitialisationFailed;
        }
        if (removed)
            err << "TAMBRIX.EXE: the older registry value ExeIniLocn has been removed from "
                << registryFile.string() << "; Rudimix uses its own folder.\n";
        return Success;
    }
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
    out << "Line " << script.definitionLine << ": " << script.definition << "\n";
    out << "Pattern " << kPatternName << ", played on line " << script.playLine << ": "
        << script.notes.size() << (script.notes.size() == 1 ? " note" : " notes") << "\n";
    out << formatPattern(script);
    return perform(script, scriptPath.toStdString(), options, out, err);
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
        else if (argument == QLatin1String("--no-window"))
            continue; // the console's way is this one; see wantsWindow()
        else if (value && value->empty() && i + 1 < arguments.size() && !arguments[i + 1].isEmpty())
            *value = QFile::encodeName(arguments[++i]).toStdString();
        else if (argument.startsWith(u'-'))
            usable = false;
        else
            rest.append(argument);
    }
    if (!usable || rest.size() != 1) {
        err << kHelp;
        return BadArguments;
    }
    return playScript(rest.first(), options, out, err);
}

bool appendLog(const QString& folder, const std::string& text)
{
    const std::filesystem::path log = toPath(folder) / "TAMBRIX.LOG";
    // A log grown too long is kept as TAMBRIX.LOG.1 and a new one begins; a link, FIFO or any
    // other file that is not a regular one is never followed, truncated or waited for.
    struct stat st;
    if (::lstat(log.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 1024 * 1024)
        ::rename(log.c_str(), (log.string() + ".1").c_str());
    const int fd = ::open(
        log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool written = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        written = n > 0 || (n < 0 && errno == EINTR);
        done += n > 0 ? std::size_t(n) : 0;
    }
    return ::close(fd) == 0 && written;
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
