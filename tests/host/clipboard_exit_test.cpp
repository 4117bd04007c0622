#include "app.h"
#include "fakes.h"
#include "frmrudimix.h"
#include "qtservices.h"
#include "tempdir.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

// Copy to Clipboard, then Exit, on an X display of its own: the line reaches a clipboard
// manager, and the program ends at once, with a manager or without one.

namespace {

// The program with its real clipboard and end: prints the copied line and the milliseconds from
// Exit to the application's end. Exit code 3: an event pending at Exit ran after it.
int copyAndExit(char** argv, const QString& hostFolder)
{
    QElapsedTimer sinceExit;
    QString copied;
    bool late = false;
    {
        int argc = 1;
        QApplication application(argc, argv);
        FakeServices fake;
        QtClipboard clipboard;
        RealProgramEnd end;
        Services services { fake.dialogs, clipboard, fake.launcher, end, fake.registry };
        RudimixApp app(services, hostFolder);
        if (!app.start())
            return 2;
        QTimer::singleShot(0, app.editor(), [&] {
            app.editor()->mnuCopy->trigger();
            copied = app.editor()->txtRAW->text();
            QMetaObject::invokeMethod(
                app.editor(), [&] { late = true; }, Qt::QueuedConnection);
            sinceExit.start();
            app.editor()->mnuExit->trigger();
            QCoreApplication::processEvents(); // what is pending when Exit comes must not run
        });
        QApplication::exec();
    }
    std::printf("%s\n%lld\n", qPrintable(copied), sinceExit.elapsed());
    return late ? 3 : 0;
}

// Starts the program and gives its first line of output (empty when none came in time).
QString start(QProcess& process, const QString& program, const QStringList& arguments)
{
    process.start(program, arguments);
    return process.waitForReadyRead(20000) ? QString(process.readLine()).trimmed() : QString();
}

TEST(ClipboardAtExit, TheLineReachesTheClipboardManagerAndTheEndComesAtOnce)
{
    QProcess server;
    const QString display = start(
        server, QStandardPaths::findExecutable("Xvfb"), { "-displayfd", "1", "-nolisten", "tcp" });
    if (display.isEmpty())
        GTEST_SKIP() << "Xvfb is missing or did not start: the clipboard at Exit is not checked";
    qputenv("DISPLAY", ":" + display.toLatin1()); // for the processes started below
    qputenv("QT_QPA_PLATFORM", "xcb");
    TempFolder host;
    TempFolder::write(host.file("TAMBRIX.INI"), "[program]\r\nMaxRudimixNotes=32\r\n");
    for (const bool withManager : { true, false }) {
        SCOPED_TRACE(withManager ? "with a clipboard manager" : "without one");
        QProcess manager, program;
        if (withManager) {
            ASSERT_EQ(start(manager, CLIPBOARD_MANAGER, {}), "ready");
        }
        program.start(QCoreApplication::applicationFilePath(), { "--copy-and-exit", host.path() });
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitCode(), 0);
        const QStringList lines = QString(program.readAllStandardOutput()).split('\n');
        ASSERT_GE(lines.size(), 2);
        EXPECT_TRUE(lines[0].startsWith("48X,45,45,48X,")) << lines[0].toStdString();
        // Only a hang fails here (a loaded machine can take seconds to end a Qt program).
        EXPECT_LT(lines[1].toInt(), 10000) << "milliseconds from Exit to the end";
        if (withManager) {
            manager.waitForReadyRead(10000);
            EXPECT_EQ(QString(manager.readLine()).trimmed(), "saved:" + lines[0]);
        }
        manager.kill();
        manager.waitForFinished(5000);
    }
    server.kill();
    server.waitForFinished(5000);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--copy-and-exit")
        return copyAndExit(argv, QString::fromLocal8Bit(argv[2]));
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
