#pragma once

#include <QString>
#include <QStringList>

// Starts a program in a working folder, never through a shell, without waiting for it. A POSIX
// system hands the program its arguments as a list; Windows hands it commandLine, unchanged, as
// its one command line (the program's path is given apart, so that no other program can start
// when the command line's first word is not quoted).
class IProcessLauncher {
public:
    virtual ~IProcessLauncher() = default;
    // Returns the started program's process id, or 0 when it could not be started; then
    // *error (when given) holds the system's reason.
    virtual qint64 startDetached(const QString& program, const QStringList& arguments,
        const QString& commandLine, const QString& workingFolder, QString* error = nullptr)
        = 0;
};
