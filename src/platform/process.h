#pragma once

#include <QString>
#include <QStringList>

// Starts a program with its arguments (never through a shell) in a working folder, without
// waiting for it.
class IProcessLauncher {
public:
    virtual ~IProcessLauncher() = default;
    // Returns the started program's process id, or 0 when it could not be started; then
    // *error (when given) holds the system's reason.
    virtual qint64 startDetached(const QString& program, const QStringList& arguments,
        const QString& workingFolder, QString* error = nullptr)
        = 0;
};
