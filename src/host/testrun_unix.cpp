#include "testrun.h"

#include "ansi.h"
#include "regularfile.h"
#include "tambrix.h"

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemReason(int code)
{
    const QString reason = QString::fromLocal8Bit(std::strerror(code));
    return reason.isEmpty() ? QStringLiteral("error %1").arg(code) : reason;
}

void fail(QString* error, int code)
{
    if (error)
        *error = systemReason(code);
}

// The folder that holds the path ("." for a bare name).
QByteArray folderOf(const QByteArray& name)
{
    const qsizetype slash = name.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return name.left(slash);
}

// Read-only by its mode bits: no write bit for anyone. The superuser passes every permission
// check of the system, so the test run looks at the mode bits itself, as the settings store
// does; a read-only file or folder then refuses every user alike.
bool readOnlyByMode(const QByteArray& name)
{
    struct stat st;
    return ::stat(name.constData(), &st) == 0 && (st.st_mode & 0222) == 0;
}

// Writes the script's bytes beside it, under a temporary name in the same folder, and renames
// that into place: a host that reads the script meanwhile finds the old script or the new one,
// whole, never none or a part. A symbolic link of the script's name is replaced, not written
// through. On a failure the temporary file goes, the old script stays as it was and *error
// holds the reason. A read-only script or folder (by its mode bits) refuses the write.
void writeScript(const QByteArray& name, const std::string& bytes, QString* error)
{
    const QByteArray folder = folderOf(name);
    struct stat st;
    if (::lstat(name.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(error, EISDIR);
        if (!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0)
            return fail(error, EACCES);
    }
    if (readOnlyByMode(folder))
        return fail(error, EACCES);

    // A new script gets the mode that creating it would give (the umask applies).
    regular::FileBeside beside(std::filesystem::path(name.toStdString()));
    if (!beside.create(0666) || !beside.write(bytes) || !beside.commit())
        fail(error, errno);
}

} // namespace

void gsbDeleteFile(const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0) {
        if (errno != ENOENT)
            fail(error, errno);
        return; // nothing there: nothing to delete
    }
    if (S_ISDIR(st.st_mode))
        return fail(error, EISDIR);
    if ((!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0) || readOnlyByMode(folderOf(name)))
        return fail(error, EACCES);
    if (::unlink(name.constData()) != 0 && errno != ENOENT)
        fail(error, errno);
}

void gsbAppendLine(const QString& line, const QString& path, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    const std::string bytes = ansi::fromUnicode(line) + "\r\n";

    struct stat st;
    if (::stat(name.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return fail(error, EISDIR);
        if ((st.st_mode & 0222) == 0)
            return fail(error, EACCES);
    } else if (errno == ENOENT && readOnlyByMode(folderOf(name))) {
        return fail(error, EACCES);
    }

    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(error, errno);
    if (!regular::writeAll(fd, bytes)) {
        const int code = errno;
        ::close(fd);
        return fail(error, code);
    }
    if (::close(fd) != 0) // a delayed write error shows here
        fail(error, errno);
}

void writeTestScript(const QString& path, const std::string& bytes, QString* error)
{
    writeScript(QFile::encodeName(path), bytes, error);
}

QString testScriptTemporaryPath(const QString& path)
{
    // The longest name regular::FileBeside gives it: "." and the name, ".PID-COUNT.tmp".
    const qsizetype slash = path.lastIndexOf(u'/');
    return path.left(slash + 1) + u'.' + path.mid(slash + 1)
        + QStringLiteral(".4294967295-4294967295.tmp");
}
