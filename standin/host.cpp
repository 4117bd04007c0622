// The stand-in host TAMBRIX.EXE, for a build without the real host. With no argument it
// initialises as the host would; on a test script it shows the pattern and plays it (or writes
// it into WAV and MIDI files). Its output also goes to TAMBRIX.LOG in its own folder (the one it
// was started from, see ownFolder()), since Rudimix starts it without a console. TAMBRIX.EXE
// (main.cpp) loads this library and runs it when no practice window takes the script.
#include "host.h"

#include "arguments.h"
#include "hostcommand.h"
#include "hostlog.h"
#include "hostpaths.h"
#include "outputtarget.h"
#include "registry.h"
#include "runtimefolder.h"
#include "sheetfile.h"
#include "stopsignals.h"
#include "windowstart.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <memory>

namespace {

// Whether the arguments write a sheet that is drawn (PDF, SVG): painted with Qt's fonts, which
// need a graphical application.
bool drawsSheet(const QStringList& given)
{
    standin::CommandLine line;
    std::string error;
    return standin::parseArguments(given, line, error)
        && line.mode == standin::CommandLine::Mode::Play
        && standin::drawnSheet(line.options.sheetFile);
}

} // namespace

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
    // A drawn sheet gets a graphical application on the offscreen platform, which needs no
    // display. It is given the program's name alone (it would take options of its own from the
    // command line), and the run the arguments as given.
    std::unique_ptr<QCoreApplication> application;
    QStringList arguments;
    static char platform[] = "-platform";
    static char offscreen[] = "offscreen";
    static char* qtArgv[] = { argv[0], platform, offscreen, nullptr };
    static int qtArgc = 3;
    if (drawsSheet(given)) {
        // Qt's graphical application wants a run-time folder: where none is set, the host's own
        // (see runtimefolder.h), so that it does not warn on stderr.
        std::string runtime, unused;
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
            && standin::userRuntimeFolder(runtime, unused))
            qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime));
        application = std::make_unique<QGuiApplication>(qtArgc, qtArgv);
        arguments = given;
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
        arguments = QCoreApplication::arguments().mid(1);
    }
    const QString folder
        = standin::ownFolder(QFile::decodeName(argv[0]), QCoreApplication::applicationDirPath());

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
