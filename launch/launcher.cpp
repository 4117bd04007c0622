#include "launcher.h"

#include "cp1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace launcher {

QString registeredHostFolder(IRegistry& registry)
{
    return cp1252::toUnicode(readStringValue(
        registry, HKEY_CURRENT_USER, "software\\Quillmoor Tambrix\\", "ExeIniLocn"));
}

QString userHostFolder()
{
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.startsWith(u'/')) // a relative XDG_DATA_HOME is not valid and does not count
        return QDir::cleanPath(data + QStringLiteral("/tambrix"));
    return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.local/share/tambrix"));
}

QString standInHost(const QString& launcherFolder)
{
    for (const QString& candidate : { QStringLiteral(RUDIMIX_STANDIN_FROM_BIN), QString() }) {
        const QFileInfo host(
            QDir::cleanPath(launcherFolder + u'/' + candidate + QStringLiteral("/TAMBRIX.EXE")));
        if (host.isFile() && host.isExecutable())
            return host.canonicalFilePath();
    }
    return {};
}

bool prepareHostFolder(IRegistry& registry, const QString& userFolder, const QString& standIn,
    std::ostream& out, std::ostream& err)
{
    const QString registered = registeredHostFolder(registry);
    const QString settings = userFolder + QStringLiteral("/TAMBRIX.INI");
    if (!registered.isEmpty()
        && (QDir::cleanPath(registered) != userFolder || QFileInfo::exists(settings)))
        return true;

    if (standIn.isEmpty()) {
        err << "rudimix-launch: the stand-in host TAMBRIX.EXE is not installed\n";
        return false;
    }
    if (!QDir().mkpath(userFolder)) {
        err << "rudimix-launch: cannot create the folder " << userFolder.toStdString() << "\n";
        return false;
    }
    // TAMBRIX.EXE: a link to the stand-in host; a link left dangling by an older installation is
    // renewed, a program that someone put there is kept.
    const QString link = userFolder + QStringLiteral("/TAMBRIX.EXE");
    const QFileInfo existing(link);
    if (existing.isSymLink() && !existing.exists())
        QFile::remove(link);
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
    out << "rudimix-launch: prepared the host folder " << userFolder.toStdString() << "\n";
    return true;
}

} // namespace launcher
