// The menu commands Exit, Paste and Copy, and the TEST and SETUP buttons.
#include "frmrawsetup.h"
#include "frmrudimix.h"
#include "modrudimix.h"
#include "notation.h"
#include "testrun.h"

#include <QLineEdit>

void frmRudimix::mnuExit_Click()
{
    close();
}

void frmRudimix::mnuCopy_Click()
{
    IClipboard& clipboard = mModule.services().clipboard;
    clipboard.setText(txtRAW->text());
    clipboard.beep(); // the only confirmation
}

void frmRudimix::mnuPaste_Click()
{
    const PatternStep step(*this); // one step when the paste changed notes
    const QString title = QStringLiteral("Paste RAW from Clipboard");
    IDialogs& dialogs = mModule.services().dialogs;
    // The box is a one-line field: a line pasted with its line end, or several lines, give the
    // first line alone, whichever dialogs stand behind the interface.
    QString line = firstLine(
        dialogs.inputBox(QStringLiteral("Paste your RAW definition line here"), title, QString()));
    if (line.isEmpty())
        return;
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals >= 0)
        line = line.mid(equals + 1);

    // Pieces between commas, blanks and all.
    if (line.count(QLatin1Char(',')) + 1 > notation::kMaxLineTokens) {
        dialogs.messageBox(QStringLiteral("Too many notes in that string.\n\nThis can only handle "
                                          "32 notes at a time"),
            QStringLiteral("Too Many Notes!"), MsgIcon::Information);
        return;
    }
    // A text that leaves no note once the reader has dropped its name prefix and outer spaces
    // would leave the window with no note at all, which it cannot show: refuse it whole.
    if (notation::lineBody(line.toStdU16String()).empty()) {
        dialogs.messageBox(
            QStringLiteral("There are no notes in that string."), title, MsgIcon::Information);
        return;
    }

    ReadRawText(line);
    if (fiNumNotes >= 1)
        SetNumberOfNotes(fiNumNotes);
}

void frmRudimix::cmdTest_Click()
{
    gsbTestRun(mModule, txtRAW->text());
}

void frmRudimix::cmdSetup_Click()
{
    frmRAWsetup dlg(mModule, this);
    dlg.exec();
}
