#include "launcher.h"

#include "cp1252.h"
#include "tambrix.h"
#include "xdgfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <sys/stat.h>
#include <unistd.h>

namespace launcher {

QString registeredHostFolder(IRegistry& registry)
{
    return cp1252::toUnicode(readStringValue(
        registry, HKEY_CURRENT_USER, tambrix::kRegistryKey, tambrix::kRegistryValue));
}

QString userHostFolder()
{
    return QDir::cleanPath(
        QFile::decodeName(xdg::baseFolder(xdg::Base::Data).c_str()) + QStringLiteral("/tambrix"));
}

QString standInHost(const QString& launcherFolder)
{
    for (const QString& candidate : { QStringLiteral(RUDIMIX_STANDIN_FROM_BIN), QString() }) {
        const QFileInfo host(QDir::cleanPath(
            launcherFolder + u'/' + candidate + u'/' + QLatin1String(tambrix::kHostProgram)));
        if (host.isFile() && host.isExecutable())
            return host.canonicalFilePath();
    }
    return {};
}

namespace {

    // What makes a folder or program unsafe to run as this user: anyone else could put a program
    // there. Empty when it is this user's and no one else can write it.
    QString unsafety(const QString& path, bool folder)
    {
        struct stat st { };
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return QStringLiteral("cannot be examined");
        if (folder != S_ISDIR(st.st_mode) || (!folder && !S_ISREG(st.st_mode)))
            return folder ? QStringLiteral("is not a folder") : QStringLiteral("is not a program");
        if (st.st_uid != ::geteuid())
            return QStringLiteral("belongs to another user");
        if ((st.st_mode & 022) != 0)
            return QStringLiteral("can be written by other users");
        return {};
    }

    // The highest folder checked above the host folder: the home folder when the host folder lies
    // in it, else XDG_DATA_HOME when it lies there, else its own parent.
    QString topFolder(const QString& userFolder)
    {
        for (const std::string& top : { xdg::homeFolder(), xdg::baseFolder(xdg::Base::Data) }) {
            const QString folder = QDir::cleanPath(QFile::decodeName(top.c_str()));
            if (folder.startsWith(u'/') && userFolder.startsWith(folder + u'/'))
                return folder;
        }
        return QFileInfo(userFolder).path();
    }

} // namespace

QString unsafeHostFolder(const QString& userFolder, const QString& standIn)
{
    // The folder and those above it up to the top: a symbolic link among them is followed and
    // what it leads to checked; a folder still to be made is not checked.
    const QString top = topFolder(userFolder);
    for (QString folder = userFolder;; folder = QFileInfo(folder).path()) {
        const QFileInfo info(folder);
        if (info.exists() || info.isSymLink()) {
            const QString fault = unsafety(folder, true);
            if (!fault.isEmpty())
                return (info.isSymLink() ? folder + QStringLiteral(" (a link to ")
                                   + info.canonicalFilePath() + QStringLiteral(")")
                                         : folder)
                    + u' ' + fault;
        }
        if (folder == top || folder == QFileInfo(folder).path())
            break;
    }
    // TAMBRIX.EXE: the link to the stand-in host, or a program of this user's that no one else
    // can change (a link elsewhere is followed and checked).
    const QFileInfo program(userFolder + u'/' + QLatin1String(tambrix::kHostProgram));
    if (!program.exists()
        || (program.isSymLink() && !standIn.isEmpty()
            && program.canonicalFilePath() == QFileInfo(standIn).canonicalFilePath()))
        return {};
    if (!program.isFile())
        return {}; // not a program at all: prepareHostFolder() names it
    const QString fault = unsafety(program.filePath(), false);
    return fault.isEmpty() ? QString() : program.filePath() + u' ' + fault;
}

bool prepareHostFolder(IRegistry& registry, const QString& userFolder, const QString& standIn,
    std::ostream& out, std::ostream& err)
{
    const QString registered = registeredHostFolder(registry);
    const QString settings = userFolder + u'/' + QLatin1String(tambrix::kSettingsFile);
    const bool vanished = !registered.isEmpty() && !QFileInfo(registered).isDir();
    if (!registered.isEmpty() && !vanished && QDir::cleanPath(registered) != userFolder) {
        // A host folder of the user's choice is left alone; one that Rudimix would refuse is named.
        if (!QFileInfo(registered + u'/' + QLatin1String(tambrix::kSettingsFile)).isFile())
            err << "rudimix-launch: the registered host folder " << registered.toStdString()
                << " has no TAMBRIX.INI; run TAMBRIX.EXE --init " << registered.toStdString()
                << " to initialise it\n";
        return true;
    }
    // Rudimix runs TAMBRIX.EXE from this folder at every TEST: only a folder that no one else
    // can change, with a program of this user's, is used.
    if (const QString fault = unsafeHostFolder(userFolder, standIn); !fault.isEmpty()) {
        err << "rudimix-launch: the host folder is not safe to run a program from: "
            << fault.toStdString() << "; make it yours and writable by you alone, or set "
            << "XDG_DATA_HOME to a folder of your own\n";
        return false;
    }
    if (!registered.isEmpty() && !vanished && QFileInfo::exists(settings))
        return true;

    if (standIn.isEmpty()) {
        err << "rudimix-launch: the stand-in host TAMBRIX.EXE is not installed\n";
        return false;
    }
    // The registry value holds Windows-1252 text: a folder it cannot hold cannot be registered.
    if (cp1252::toUnicode(cp1252::fromUnicode(userFolder)) != userFolder) {
        err << "rudimix-launch: the host folder " << userFolder.toStdString()
            << " cannot be registered, since Windows-1252 cannot hold its name; set XDG_DATA_HOME "
               "to a folder whose name it can hold, or register one with TAMBRIX.EXE --init DIR\n";
        return false;
    }
    if (const qsizetype bytes = cp1252::fromUnicode(userFolder).size(); bytes >= 256) {
        err << "rudimix-launch: the host folder " << userFolder.toStdString()
            << " cannot be registered, since its name is " << bytes
            << " bytes long and the registry value ExeIniLocn holds at most 255; set "
               "XDG_DATA_HOME to a shorter folder\n";
        return false;
    }
    if (!QDir().mkpath(userFolder)) {
        err << "rudimix-launch: cannot create the folder " << userFolder.toStdString() << "\n";
        return false;
    }
    // The folders made just now are the user's; one made by someone else meanwhile is not.
    if (const QString fault = unsafeHostFolder(userFolder, standIn); !fault.isEmpty()) {
        err << "rudimix-launch: the host folder is not safe to run a program from: "
            << fault.toStdString() << "\n";
        return false;
    }
    // TAMBRIX.EXE: a link to the stand-in host; a link left dangling by an older installation is
    // renewed, a program that someone put there is kept, anything else is named.
    const QString link = userFolder + u'/' + QLatin1String(tambrix::kHostProgram);
    const QFileInfo existing(link);
    if (existing.isSymLink() && !existing.exists())
        QFile::remove(link);
    else if (existing.exists() && !(existing.isFile() && existing.isExecutable())) {
        err << "rudimix-launch: " << link.toStdString() << " is "
            << (existing.isDir() ? "a folder" : "not a program")
            << ", not the host program; move it away and start again\n";
        return false;
    }
    if (!QFileInfo(link).isSymLink() && !QFileInfo::exists(link) && !QFile::link(standIn, link)) {
        err << "rudimix-launch: cannot create the link " << link.toStdString() << "\n";
        return false;
    }

    QProcess host;
    host.setProcessChannelMode(QProcess::ForwardedChannels);
    host.setWorkingDirectory(userFolder);
    host.start(link, { QStringLiteral("--init"), userFolder });
    const bool finished = host.waitForFinished(30000) && host.exitStatus() == QProcess::NormalExit;
    if (!finished || host.exitCode() != 0) {
        err << "rudimix-launch: " << link.toStdString() << " --init " << userFolder.toStdString()
            << " failed: "
            << (finished ? "exit code " + std::to_string(host.exitCode())
                         : host.errorString().toStdString())
            << "\n";
        return false;
    }
    // Registered only when the registry value now names this folder.
    if (QDir::cleanPath(registeredHostFolder(registry)) != userFolder) {
        err << "rudimix-launch: " << link.toStdString() << " --init " << userFolder.toStdString()
            << " ended without registering the folder (the registry value ExeIniLocn is "
            << (registeredHostFolder(registry).isEmpty()
                       ? std::string("not set")
                       : "\"" + registeredHostFolder(registry).toStdString() + "\"")
            << ")\n";
        return false;
    }
    if (vanished)
        out << "rudimix-launch: the registered host folder " << registered.toStdString()
            << " no longer exists; ";
    else
        out << "rudimix-launch: ";
    out << "prepared the host folder " << userFolder.toStdString() << " and registered it\n";
    return true;
}

} // namespace launcher
