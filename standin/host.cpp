// The stand-in host TAMBRIX.EXE, for a build without the real host. With no argument it
// initialises as the host would; on a test script it shows the pattern and plays it (or writes
// it into WAV and MIDI files). Its output also goes to TAMBRIX.LOG in its own folder (the one it
// was started from, see ownFolder()), since Rudimix starts it without a console. TAMBRIX.EXE
// (main.cpp) loads this library and runs it when no practice window takes the script.
#include "host.h"
#include "hostcommand.h"
#include "hostlog.h"
#include "hostpaths.h"
#include "outputtarget.h"
#include "registry.h"
#include "stopsignals.h"
#include "windowstart.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

int tambrixHostMain(int argc, char* argv[])
{
    // A script played live with a display goes to the practice window (see windowmain.h), which
    // takes the stop signals itself.
    QStringList given;
    for (int i = 1; i < argc; ++i)
        given.append(QFile::decodeName(argv[i]));
    if (standin::wantsWindow(given)) {
        const int code = standin::runPracticeWindow(argc, argv);
        if (code != standin::kPlayInConsole)
            return code;
    }

    standin::HostLog log;
    standin::watchStopSignals(
        log, standin::removeUnfinishedOutputs); // before any other thread starts
    QCoreApplication application(argc, argv);
    const QString folder
        = standin::ownFolder(QFile::decodeName(argv[0]), QCoreApplication::applicationDirPath());
    const QStringList arguments = QCoreApplication::arguments().mid(1);

    // Nothing is written into an installed program's folder: the log goes to the user's state
    // folder instead, or nowhere, and the run says which.
    QString logFolder = standin::logFolder(arguments, folder);
    if (!logFolder.isEmpty() && standin::isInstalledFolder(folder)
        && logFolder == standin::userStateFolder()) {
        if (QDir().mkpath(logFolder)) {
            QFile::setPermissions(
                logFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            log.err() << "TAMBRIX.EXE: started from its installed folder " << folder.toStdString()
                      << "; the log is " << logFolder.toStdString() << "/TAMBRIX.LOG\n";
        } else {
            log.err() << "TAMBRIX.EXE: started from its installed folder " << folder.toStdString()
                      << "; no log is written (the folder " << logFolder.toStdString()
                      << " cannot be created)\n";
            logFolder.clear();
        }
    }
    log.begin(logFolder,
        "==== " + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString()
            + "  TAMBRIX.EXE " + arguments.join(u' ').toStdString() + "\n");

    const int code
        = standin::run(arguments, folder, IniRegistry::defaultFile(), log.out(), log.err());
    log.finish(code);
    return code;
}
