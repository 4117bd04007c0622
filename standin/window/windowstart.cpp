#include "windowstart.h"

#include "arguments.h"
#include "displayprobe.h"
#include "handover.h"
#include "hostlog.h"
#include "hostpaths.h"
#include "listenconsole.h"
#include "perform.h"
#include "practicewindow.h"
#include "stopsignals.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSettings>
#include <iostream>
#include <mutex>
#include <unistd.h>

namespace standin {

namespace {

    // A live performance of one script, without output files or --no-window.
    bool readOptions(const QStringList& arguments, CommandLine& line)
    {
        std::string error;
        return parseArguments(arguments, line, error) && line.mode == CommandLine::Mode::Play
            && !line.noWindow && !line.options.writesFiles();
    }

    // What the stop signals' thread may reach of the window, under the mutex.
    std::mutex reachMutex;
    QCoreApplication* openApplication = nullptr; // from the window's making to its event loop's end
    PracticeWindow* openWindow = nullptr;
    std::string listeningSocket; // removed when the run is cut short
    QString runLogFolder;
    std::atomic<int> endingSignal { 0 };

    void logLine(const QString& folder, const std::string& line)
    {
        if (!folder.isEmpty())
            appendLog(folder,
                "==== " + QDateTime::currentDateTime().toString(Qt::ISODate).toStdString()
                    + "  practice window\n" + line);
    }

    // The run's last line, on stdout and in the log.
    void lastLine(int signal)
    {
        const std::string line = "Stopped by " + signalName(signal) + ".\n";
        std::cout << line << std::flush;
        QString folder;
        {
            std::lock_guard lock(reachMutex);
            folder = runLogFolder;
        }
        logLine(folder, line);
    }

    WindowStopHandlers windowHandlers()
    {
        return { [] {
                    std::lock_guard lock(reachMutex);
                    if (PracticeWindow* window = openWindow)
                        QMetaObject::invokeMethod(
                            window, [window] { window->silence(); }, Qt::QueuedConnection);
                },
            [](int signal) {
                std::lock_guard lock(reachMutex);
                endingSignal = signal;
                if (!openApplication)
                    return false;
                // Every event loop ends, a modal dialog's too.
                QMetaObject::invokeMethod(
                    openApplication, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
                return true;
            },
            [](int signal) {
                {
                    std::lock_guard lock(reachMutex);
                    if (!listeningSocket.empty())
                        ::unlink(listeningSocket.c_str());
                }
                lastLine(signal);
                return int(Success); // a live performance ends by being stopped
            } };
    }

    void reach(QCoreApplication* application, PracticeWindow* window)
    {
        std::lock_guard lock(reachMutex);
        openApplication = application;
        openWindow = window;
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

int runPracticeWindow(int& argc, char** argv, bool (*displayAnswers)())
{
    watchWindowStopSignals(windowHandlers()); // before any other thread starts
    const double startedAt = Transport::bootSeconds() - secondsSinceProcessStart();
    CommandLine line;
    QString script;
    QString socket;
    QString error;
    QString notice;
    QString folder;
    {
        // The hand-over needs no display: it is done before the connection to one is made.
        QCoreApplication handing(argc, argv);
        readOptions(QCoreApplication::arguments().mid(1), line);
        // TAMBRIX.LOG where a console run would write it (never into an installed folder).
        folder = logFolder(QCoreApplication::arguments().mid(1),
            ownFolder(QFile::decodeName(argv[0]), QCoreApplication::applicationDirPath()));
        {
            std::lock_guard lock(reachMutex);
            runLogFolder = folder;
        }
        const PlayOptions& options = line.options;
        script = QFileInfo(line.script).absoluteFilePath();
        socket = handoverSocket(error, &notice);
        if (const QString fault = socket.isEmpty() ? QString() : socketPathFault(socket);
            !fault.isEmpty()) {
            const std::string message = "TAMBRIX.EXE: the practice window's socket "
                + socket.toStdString() + " " + fault.toStdString() + "; remove it\n";
            std::cerr << message;
            logLine(folder, message);
            return int(SoundResult::LockUnusable);
        }
        HandoverReply reply;
        if (!socket.isEmpty()
            && handOver(socket, { script, options.noTimeSignature, startedAt }, 1000, &reply)) {
            switch (reply.outcome) {
            case HandoverReply::Outcome::Played:
                std::cout << "Handed " << script.toStdString() << " to the practice window.\n";
                return Success;
            case HandoverReply::Outcome::Refused:
                std::cerr << "TAMBRIX.EXE: the practice window refused the script: "
                          << reply.message.toStdString() << "\n";
                return reply.code > 0 ? reply.code : int(BadScript);
            case HandoverReply::Outcome::Closing:
                std::cout << "TAMBRIX.EXE: the practice window is closing; " << script.toStdString()
                          << " plays on its own.\n";
                break;
            }
        }
    }
    if (!displayAnswers()) {
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
    // --listen: the input opened (the virtual MIDI ports there) before the first note sounds.
    ListenConsole listening(transport);
    if (!line.listen.empty()) {
        InputChoice choice;
        std::string listenError;
        if (!InputChoice::parse(line.listen, choice, listenError)
            || !listening.open(choice, listenError)) {
            std::cerr << "TAMBRIX.EXE: not listening: " << listenError << "\n";
            appendLog(
                folder, "==== practice window\nTAMBRIX.EXE: not listening: " + listenError + "\n");
        }
    }
    if (readable) {
        transport.change([&](PracticeSchedule& s) { s = first.schedule; });
        transport.play(startedAt, lockError);
    }
    QApplication application(argc, argv);
    std::string soundError;
    if (const int code = transport.loaded(soundError)) {
        std::cerr << "TAMBRIX.EXE: " << soundError << "\n";
        logLine(folder, "TAMBRIX.EXE: " + soundError + "\n");
        return code;
    }
    HandoverServer server;
    if (socket.isEmpty() || !server.listen(socket, error))
        std::cerr << "TAMBRIX.EXE: a later TEST opens a window of its own: " << error.toStdString()
                  << "\n";
    else {
        std::lock_guard lock(reachMutex);
        listeningSocket = QFile::encodeName(socket).toStdString();
    }
    if (!notice.isEmpty())
        std::cerr << "TAMBRIX.EXE: " << notice.toStdString() << "\n";

    PracticeWindow window(transport, settings, folder, &listening);
    QObject::connect(&server, &HandoverServer::received, &window, &PracticeWindow::take);
    QObject::connect(&server, &HandoverServer::trouble, &window,
        [&window](const QString& message) { window.report(message, true); });
    // A window that is closing takes no more hand-overs: a later TEST plays on its own.
    QObject::connect(&application, &QGuiApplication::lastWindowClosed, &server, [&server] {
        server.close();
        std::lock_guard lock(reachMutex);
        listeningSocket.clear();
    });
    // From here a stop signal ends the event loop (SIGUSR1 only stops the sound).
    reach(&application, &window);

    window.show();
    if (readable)
        window.showPlaying(std::move(first), startedAt, lockError);
    else
        window.load(script, line.options.noTimeSignature, startedAt); // says what is wrong
    window.raise();
    window.activateWindow();
    const int code = application.exec();
    reach(nullptr, nullptr);
    if (const int signal = endingSignal) {
        window.close(); // its settings kept
        if (!claimEnd())
            for (;;)
                ::pause(); // the signals' thread ends the run
        server.close();
        {
            std::lock_guard lock(reachMutex);
            listeningSocket.clear();
        }
        lastLine(signal);
        return Success;
    }
    server.close();
    {
        std::lock_guard lock(reachMutex);
        listeningSocket.clear();
    }
    return code;
}

} // namespace standin
