#include "hostpaths.h"

#include "arguments.h"
#include "xdgfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

QString ownFolder(const QString& startedAs, const QString& programFolder)
{
    if (!startedAs.contains(u'/'))
        return programFolder;
    return QDir::cleanPath(QFileInfo(startedAs).absolutePath());
}

bool isInstalledFolder(const QString& folder)
{
    const QString installed = QStringLiteral("/" RUDIMIX_INSTALL_HOSTDIR);
    struct stat st { };
    return QDir::cleanPath(folder).endsWith(installed)
        || (::stat(QFile::encodeName(folder).constData(), &st) == 0 && st.st_uid != ::geteuid());
}

QString userStateFolder()
{
    return QDir::cleanPath(
        QFile::decodeName(xdg::baseFolder(xdg::Base::State).c_str()) + QStringLiteral("/tambrix"));
}

QString logFolder(const QStringList& arguments, const QString& ownFolder)
{
    CommandLine line;
    std::string error;
    const bool usable = parseArguments(arguments, line, error);
    if (usable && (line.mode == CommandLine::Mode::Version || line.mode == CommandLine::Mode::Help))
        return {};
    if (usable && line.mode == CommandLine::Mode::InitialiseFolder)
        return QFileInfo(line.folder).absoluteFilePath();
    return isInstalledFolder(ownFolder) ? userStateFolder() : ownFolder;
}

} // namespace standin
