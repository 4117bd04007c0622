#include "hostlog.h"

#include "regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

    std::filesystem::path toPath(const QString& path)
    {
        return std::filesystem::path(QFile::encodeName(path).toStdString());
    }

    // The text cut to its first and last bytes when it is longer than kMaxRunLogBytes.
    std::string bounded(const std::string& text)
    {
        if (text.size() <= kMaxRunLogBytes)
            return text;
        const std::size_t tail = kMaxRunLogBytes / 8;
        const std::size_t head = kMaxRunLogBytes - tail - 100;
        return text.substr(0, head) + "\n... " + std::to_string(text.size() - head - tail)
            + " bytes left out of the log ...\n" + text.substr(text.size() - tail);
    }

} // namespace

bool appendLog(const QString& folder, const std::string& text, std::string* problem)
{
    const std::filesystem::path log = toPath(folder) / "TAMBRIX.LOG";
    // A log grown too long is kept as TAMBRIX.LOG.1 and a new one begins; a link, FIFO or any
    // other file that is not a regular one is never followed, truncated or waited for.
    struct stat st;
    if (::lstat(log.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > off_t(kMaxLogBytes)
        && ::rename(log.c_str(), (log.string() + ".1").c_str()) != 0) {
        if (problem) {
            *problem = log.string() + " has grown beyond a megabyte and cannot be renamed to "
                + log.filename().string() + ".1 (" + std::strerror(errno)
                + "); nothing more is written to it";
        }
        return false;
    }
    const int fd = ::open(
        log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    const bool written
        = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && regular::writeAll(fd, bounded(text));
    return ::close(fd) == 0 && written;
}

std::string Tee::text() const
{
    std::lock_guard lock(mMutex);
    return mText;
}

Tee::int_type Tee::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    {
        std::lock_guard lock(mMutex);
        if (mText.size() < 2 * kMaxRunLogBytes) // the log keeps no more; the console gets it all
            mText += ch;
    }
    mConsole.put(ch);
    if (ch == '\n')
        mConsole.flush();
    return c;
}

HostLog::HostLog()
    : mOutText(std::cout)
    , mErrText(std::cerr)
    , mOut(&mOutText)
    , mErr(&mErrText)
{
}

void HostLog::begin(const QString& folder, const std::string& heading)
{
    std::lock_guard lock(mMutex);
    mFolder = folder;
    mHeading = heading;
}

bool HostLog::finish(int code, const std::string& ending)
{
    std::lock_guard lock(mMutex);
    if (mWritten)
        return false;
    mWritten = true;
    if (mFolder.isEmpty())
        return true;
    std::string problem;
    if (!appendLog(mFolder,
            mHeading + mOutText.text() + mErrText.text() + ending + "==== exit code "
                + std::to_string(code) + "\n",
            &problem)) {
        std::cerr << "TAMBRIX.EXE: "
                  << (problem.empty() ? "cannot write TAMBRIX.LOG in " + mFolder.toStdString()
                                      : problem)
                  << "\n";
    }
    return true;
}

} // namespace standin
