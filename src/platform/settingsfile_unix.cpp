#include "settingsfile.h"

#include "inifile.h"
#include "regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::filesystem::path toPath(const QString& file)
{
    return std::filesystem::path(QFile::encodeName(file).toStdString());
}

} // namespace

namespace settingsfile {

std::string read(const QString& file, const std::string& section, const std::string& key,
    const std::string& defaultValue, std::size_t bufferSize)
{
    return ini::readString(toPath(file), section, key, defaultValue, bufferSize);
}

bool write(const QString& file, const std::string& section, const std::string& key,
    const std::string& value, std::string* error)
{
    return ini::writeString(toPath(file), section, key, value, error);
}

bool exists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: opening a named pipe must not wait for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != EACCES)
            return false;
        // There but protected, unless it is a folder; when not even that can be seen, access
        // was denied all the same.
        struct stat st;
        if (::stat(name.constData(), &st) != 0)
            return errno == EACCES;
        return !S_ISDIR(st.st_mode);
    }
    struct stat st;
    const bool isFile = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
    ::close(fd);
    return isFile;
}

bool unusable(const QString& path)
{
    // A pipe, a device, a folder (after following links) or a file over 64 MiB: the host has to
    // initialise it.
    const regular::Status status = regular::inspect(toPath(path)).status;
    return status == regular::Status::NotRegular || status == regular::Status::TooLarge;
}

QChar folderSeparator()
{
    return QLatin1Char('/');
}

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString absoluteFolder(const QString& folder)
{
    if (folder.isEmpty() || !QDir::isRelativePath(folder))
        return folder;
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

qsizetype longestPath()
{
    return PATH_MAX - 1;
}

} // namespace settingsfile
