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

} // namespace standin
