#include "testrun.h"

#include "cp1252.h"
#include "modrudimix.h"

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kScriptName = "DudEderava.drum";
const char* const kHostName = "TAMBRIX.EXE";

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

bool writeAll(int fd, const std::string& bytes, int& code)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            code = errno;
            return false;
        }
        written += std::size_t(n); // a short write goes on; the next one reports the cause
    }
    return true;
}

} // namespace

QString gfnTestScriptPath(const modRudimix& module)
{
    return modRudimix::gfnAddBackslash(module.gsHostFolder) + QLatin1String(kScriptName);
}

QString gfnHostProgramPath(const modRudimix& module)
{
    return modRudimix::gfnAddBackslash(module.gsHostFolder) + QLatin1String(kHostName);
}

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
    const std::string bytes = cp1252::fromUnicode(line) + "\r\n";

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
    int code = 0;
    if (!writeAll(fd, bytes, code)) {
        ::close(fd);
        return fail(error, code);
    }
    if (::close(fd) != 0) // a delayed write error shows here
        fail(error, errno);
}

qint64 gfnRunHost(modRudimix& module, const QString& scriptPath, QString* error)
{
    const QString program = gfnHostProgramPath(module);
    QString reason;
    const qint64 pid = module.services().launcher.startDetached(
        program, { QStringLiteral("-notimesig"), scriptPath }, module.gsHostFolder, &reason);
    if (pid == 0 && error)
        *error = reason.isEmpty() ? QStringLiteral("unknown error") : reason;
    return pid;
}

void gsbTestRun(modRudimix& module, const QString& rawText)
{
    const QString path = gfnTestScriptPath(module);

    // Each step stops the run on a failure: a half-written script is never played.
    QString error;
    gsbDeleteFile(path, &error);
    if (error.isEmpty())
        gsbAppendLine(module.gsTestHeader, path, &error);
    if (error.isEmpty())
        gsbAppendLine(QStringLiteral("RAW [new-rud]=") + rawText, path, &error);
    if (error.isEmpty())
        gsbAppendLine(QStringLiteral("[new-rud]"), path, &error);
    if (!error.isEmpty()) {
        module.services().dialogs.messageBox(
            QStringLiteral("The test script could not be written:\n%1\n%2\n\n"
                           "TAMBRIX.EXE has not been started.")
                .arg(path, error),
            modRudimix::programTitle(), MsgIcon::Error);
        return;
    }

    if (gfnRunHost(module, path, &error) == 0) {
        module.services().dialogs.messageBox(
            QStringLiteral("TAMBRIX.EXE could not be started:\n%1\n%2\n\n"
                           "The test script has been written to %3.")
                .arg(gfnHostProgramPath(module), error, path),
            modRudimix::programTitle(), MsgIcon::Error);
    }
}
