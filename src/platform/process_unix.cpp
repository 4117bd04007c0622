#include "qtservices.h"

#include <QApplication>
#include <QProcess>

qint64 SystemProcessLauncher::startDetached(const QString& program, const QStringList& arguments,
    const QString&, const QString& workingFolder, QString* error)
{
    // QProcess starts the program itself, with no shell in between.
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        if (error)
            *error = process.errorString();
        return 0;
    }
    return pid;
}

void QtClipboard::beep()
{
    QApplication::beep();
}
