#include "launcher.h"

#include "cp1252.h"
#include "tambrix.h"
#include "xdgfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

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
    if (!QDir().mkpath(userFolder)) {
        err << "rudimix-launch: cannot create the folder " << userFolder.toStdString() << "\n";
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
    if (vanished)
        out << "rudimix-launch: the registered host folder " << registered.toStdString()
            << " no longer exists; ";
    else
        out << "rudimix-launch: ";
    out << "prepared the host folder " << userFolder.toStdString() << " and registered it\n";
    return true;
}

} // namespace launcher
