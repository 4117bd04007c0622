#include "testrun.h"

#include "ansi.h"
#include "modrudimix.h"
#include "settingsfile.h"
#include "tambrix.h"

#include <QStringList>

QString gfnTestScriptPath(const modRudimix& module)
{
    return modRudimix::gfnAddBackslash(module.gsHostFolder) + QLatin1String(tambrix::kTestScript);
}

QString gfnHostProgramPath(const modRudimix& module)
{
    return modRudimix::gfnAddBackslash(module.gsHostFolder) + QLatin1String(tambrix::kHostProgram);
}

QString gfnHostCommandLine(const modRudimix& module, const QString& scriptPath)
{
    return module.gsHostFolder + u'\\' + QLatin1String(tambrix::kHostProgram) + u' '
        + QLatin1String(tambrix::kNoTimeSignature) + QStringLiteral(" \"") + scriptPath + u'"';
}

qint64 gfnRunHost(modRudimix& module, const QString& scriptPath, QString* error)
{
    const QString program = gfnHostProgramPath(module);
    QString reason;
    const qint64 pid = module.services().launcher.startDetached(program,
        { QLatin1String(tambrix::kNoTimeSignature), scriptPath },
        gfnHostCommandLine(module, scriptPath), module.gsHostFolder, &reason);
    if (pid == 0 && error)
        *error = reason.isEmpty() ? QStringLiteral("unknown error") : reason;
    return pid;
}

void gsbTestRun(modRudimix& module, const QString& rawText)
{
    const QString path = gfnTestScriptPath(module);
    const qsizetype tooMuch = testScriptTemporaryPath(path).size() - settingsfile::longestPath();
    if (tooMuch > 0) {
        module.services().dialogs.messageBox(
            modRudimix::hostFolderTooLong(module.gsHostFolder, module.gsHostFolder.size() - tooMuch)
                + QStringLiteral("\n\nThe test script cannot be written there; TAMBRIX.EXE has "
                                 "not been started."),
            modRudimix::programTitle(), MsgIcon::Error);
        return;
    }

    // The whole script is written at once and put in place whole; a script that could not be
    // written is never played.
    QString error;
    writeTestScript(path,
        ansi::fromUnicode(QString::fromStdString(
            tambrix::testScript(module.gsTestHeader.toStdString(), rawText.toStdString()))),
        &error);
    if (!error.isEmpty()) {
        module.services().dialogs.messageBox(
            QStringLiteral("The test script could not be written:\n%1\n%2\n\n"
                           "TAMBRIX.EXE has not been started.")
                .arg(path, error),
            modRudimix::programTitle(), MsgIcon::Error);
        return;
    }

    if (gfnRunHost(module, path, &error) == 0) {
        module.services().dialogs.messageBox(
            QStringLiteral("TAMBRIX.EXE could not be started:\n%1\n%2\n\n"
                           "The test script has been written to %3.")
                .arg(gfnHostProgramPath(module), error, path),
            modRudimix::programTitle(), MsgIcon::Error);
    }
}
