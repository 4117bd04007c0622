#include "windowmain.h"

#include "displayprobe.h"
#include "handover.h"
#include "player.h"
#include "practicewindow.h"
#include "standin.h"

#include <QApplication>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <iostream>

namespace standin {

namespace {

    struct WindowOptions {
        QString script;
        bool noTimeSignature = false;
        std::string soundFont;
        std::string audioDriver;
    };

    bool readOptions(const QStringList& arguments, WindowOptions& options)
    {
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            const QString& argument = arguments[i];
            std::string* value = argument == QLatin1String("--soundfont") ? &options.soundFont
                : argument == QLatin1String("--audio-driver")             ? &options.audioDriver
                                                                          : nullptr;
            if (argument == QLatin1String("-notimesig") && !options.noTimeSignature)
                options.noTimeSignature = true;
            else if (value && value->empty() && i + 1 < arguments.size()
                && !arguments[i + 1].isEmpty())
                *value = QFile::encodeName(arguments[++i]).toStdString();
            else if (argument.startsWith(u'-') || !options.script.isEmpty())
                return false;
            else
                options.script = argument;
        }
        return !options.script.isEmpty();
    }

    // SIGTERM, SIGINT and SIGHUP stop the window's performance (a console performance or
    // --stop wants the sound to end); when nothing plays, they end the host.
    std::atomic<bool> stopSignal { false };

    void onStopSignal(int)
    {
        stopSignal = true;
    }

} // namespace

bool wantsWindow(const QStringList& arguments)
{
    WindowOptions options;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool display = (!qEnvironmentVariableIsEmpty("DISPLAY")
                             || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        && !platform.startsWith("offscreen") && !platform.startsWith("minimal");
    return display && readOptions(arguments, options);
}

int runPracticeWindow(int& argc, char** argv)
{
    const double startedAt = Transport::bootSeconds() - secondsSinceProcessStart();
    WindowOptions options;
    QString script;
    QString socket;
    QString error;
    {
        // The hand-over needs no display: it is done before the connection to one is made.
        QCoreApplication handing(argc, argv);
        readOptions(QCoreApplication::arguments().mid(1), options);
        script = QFileInfo(options.script).absoluteFilePath();
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

    QApplication application(argc, argv);
    const QString folder
        = ownFolder(QFile::decodeName(argv[0]), QCoreApplication::applicationDirPath());
    Transport transport;
    std::string soundError;
    if (const int code = transport.start(options.soundFont, options.audioDriver, soundError)) {
        std::cerr << "TAMBRIX.EXE: " << soundError << "\n";
        appendLog(folder, "==== practice window\nTAMBRIX.EXE: " + soundError + "\n");
        return code;
    }
    HandoverServer server;
    if (socket.isEmpty() || !server.listen(socket, error))
        std::cerr << "TAMBRIX.EXE: a later TEST opens a window of its own: " << error.toStdString()
                  << "\n";

    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Rudimix"),
        QStringLiteral("tambrix-practice"));
    PracticeWindow window(transport, settings, folder);
    QObject::connect(&server, &HandoverServer::received, &window, &PracticeWindow::take);

    struct sigaction action { };
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, &window, [&] {
        if (!stopSignal.exchange(false))
            return;
        if (transport.playing())
            transport.stop();
        else
            window.close();
    });
    stopPoll.start(20);

    window.show();
    window.load(script, options.noTimeSignature, startedAt);
    window.raise();
    window.activateWindow();
    return application.exec();
}

} // namespace standin
