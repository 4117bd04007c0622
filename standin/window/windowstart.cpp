#include "windowstart.h"

#include "arguments.h"
#include "displayprobe.h"
#include "handover.h"
#include "hostlog.h"
#include "hostpaths.h"
#include "perform.h"
#include "practicewindow.h"
#include "stopsignals.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <iostream>

namespace standin {

namespace {

    // A live performance of one script, without output files or --no-window.
    bool readOptions(const QStringList& arguments, CommandLine& line)
    {
        std::string error;
        return parseArguments(arguments, line, error) && line.mode == CommandLine::Mode::Play
            && !line.noWindow && !line.options.writesFiles();
    }

} // namespace

bool wantsWindow(const QStringList& arguments)
{
    CommandLine line;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool display = (!qEnvironmentVariableIsEmpty("DISPLAY")
                             || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        && !platform.startsWith("offscreen") && !platform.startsWith("minimal");
    return display && readOptions(arguments, line);
}

int runPracticeWindow(int& argc, char** argv)
{
    const double startedAt = Transport::bootSeconds() - secondsSinceProcessStart();
    CommandLine line;
    QString script;
    QString socket;
    QString error;
    {
        // The hand-over needs no display: it is done before the connection to one is made.
        QCoreApplication handing(argc, argv);
        readOptions(QCoreApplication::arguments().mid(1), line);
        const PlayOptions& options = line.options;
        script = QFileInfo(line.script).absoluteFilePath();
        socket = handoverSocket(error);
        if (!socket.isEmpty() && handOver(socket, { script, options.noTimeSignature, startedAt })) {
            std::cout << "Handed " << script.toStdString() << " to the practice window.\n";
            return Success;
        }
    }
    if (!displayReachable()) {
        std::cerr << "TAMBRIX.EXE: the display " << qgetenv("DISPLAY").toStdString()
                  << qgetenv("WAYLAND_DISPLAY").toStdString()
                  << " does not answer; playing in the console.\n";
        return kPlayInConsole;
    }

    // The sound starts on a thread of its own (the SoundFont, the sound server's connection)
    // and the script plays as soon as it is ready, while the window is made.
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Rudimix"),
        QStringLiteral("tambrix-practice"));
    Transport transport;
    transport.begin(line.options.soundFont, line.options.audioDriver);
    PracticeWindow::PracticeScript first;
    std::string firstError;
    std::string lockError;
    const bool readable = PracticeWindow::readScript(script, line.options.noTimeSignature,
        PracticeWindow::rememberedSchedule(settings), first, firstError);
    if (readable) {
        transport.change([&](PracticeSchedule& s) { s = first.schedule; });
        transport.play(startedAt, lockError);
    }
    QApplication application(argc, argv);
    // TAMBRIX.LOG where a console run would write it (never into an installed folder).
    const QString folder = logFolder(QCoreApplication::arguments().mid(1),
        ownFolder(QFile::decodeName(argv[0]), QCoreApplication::applicationDirPath()));
    std::string soundError;
    if (const int code = transport.loaded(soundError)) {
        std::cerr << "TAMBRIX.EXE: " << soundError << "\n";
        appendLog(folder, "==== practice window\nTAMBRIX.EXE: " + soundError + "\n");
        return code;
    }
    HandoverServer server;
    if (socket.isEmpty() || !server.listen(socket, error))
        std::cerr << "TAMBRIX.EXE: a later TEST opens a window of its own: " << error.toStdString()
                  << "\n";

    PracticeWindow window(transport, settings, folder);
    QObject::connect(&server, &HandoverServer::received, &window, &PracticeWindow::take);

    // SIGTERM, SIGINT and SIGHUP stop the window's performance (a console performance or
    // --stop wants the sound to end); when nothing plays, they end the host.
    catchWindowStopSignals();
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, &window, [&] {
        if (!takeWindowStopSignal())
            return;
        if (transport.playing())
            transport.stop();
        else
            window.close();
    });
    stopPoll.start(20);

    window.show();
    if (readable)
        window.showPlaying(std::move(first), startedAt, lockError);
    else
        window.load(script, line.options.noTimeSignature, startedAt); // says what is wrong
    window.raise();
    window.activateWindow();
    return application.exec();
}

} // namespace standin
