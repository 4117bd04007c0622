#pragma once

#include <QString>
#include <QStringList>
#include <iostream>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>

// TAMBRIX.LOG: what the stand-in host printed in a run, since Rudimix starts it without a console.
namespace standin {

inline constexpr std::size_t kMaxLogBytes = 1024 * 1024; // then it becomes TAMBRIX.LOG.1
inline constexpr std::size_t kMaxRunLogBytes = 64 * 1024; // what one run appends at most

// The folder the stand-in counts as its own: that of the path it was started by, with symbolic
// links not resolved, since a per-user host folder holds a link TAMBRIX.EXE to the installed
// program (whose folder is not writable). A bare name found on PATH gives programFolder.
QString ownFolder(const QString& startedAs, const QString& programFolder);

// Whether the folder is one that the program was installed into (<prefix>/lib/rudimix) or that
// belongs to another user: nothing is written there at run time.
bool isInstalledFolder(const QString& folder);

// The user's own folder for the log of a host started from its installed folder:
// $XDG_STATE_HOME/tambrix (an absolute path), else ~/.local/state/tambrix.
QString userStateFolder();

// Where TAMBRIX.LOG goes for these arguments: the folder given to --init, else ownFolder, or the
// user's state folder when ownFolder is an installed one. Empty for --version and --help.
QString logFolder(const QStringList& arguments, const QString& ownFolder);

// Appends the text to TAMBRIX.LOG in the folder, at most kMaxRunLogBytes of it (its beginning and
// its end, with the number of bytes left out between). A log grown beyond kMaxLogBytes is renamed
// to TAMBRIX.LOG.1 first; when that fails, nothing is written and problem says why. A symbolic
// link, FIFO, folder or device of that name is neither followed nor waited for. False when the
// log cannot be written.
bool appendLog(const QString& folder, const std::string& text, std::string* problem = nullptr);

// Output that reaches the console at once (a live performance follows the table by seconds) and
// is kept for the log; safe to read from another thread.
class Tee : public std::streambuf {
public:
    explicit Tee(std::ostream& console)
        : mConsole(console)
    {
    }
    std::string text() const;

protected:
    int_type overflow(int_type c) override;

private:
    std::ostream& mConsole;
    mutable std::mutex mMutex;
    std::string mText;
};

// One run's log: its heading, what it printed, its exit code; written once.
class HostLog {
public:
    HostLog();
    std::ostream& out() { return mOut; }
    std::ostream& err() { return mErr; }
    // Where the log goes (empty: no log) and its first line.
    void begin(const QString& folder, const std::string& heading);
    // Writes the log, unless it has been written (then false); a problem with it goes to stderr.
    bool finish(int code, const std::string& ending = {});

private:
    Tee mOutText;
    Tee mErrText;
    std::ostream mOut;
    std::ostream mErr;
    std::mutex mMutex;
    QString mFolder;
    std::string mHeading;
    bool mWritten = false;
};

// SIGTERM, SIGINT and SIGHUP are taken by a thread of their own from here on (call it before any
// other thread starts): each asks the run to stop (stopRequested()); a run that has not ended
// 0.8 seconds later is ended there, with its log written, its unfinished output files removed and
// the exit code 0 for a live performance (stopped), else 128 + the signal's number.
void watchStopSignals(HostLog& log);

} // namespace standin
