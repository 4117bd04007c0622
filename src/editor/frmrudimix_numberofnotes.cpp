// The number of notes in use: SetNumberOfNotes and its menu command.
#include "basicval.h"
#include "frmrudimix.h"
#include "modrudimix.h"

#include <QAction>
#include <QScrollBar>

void frmRudimix::SetNumberOfNotes(std::int16_t aiNumNotes)
{
    const PatternStep step(*this);
    const int previous = fiPrevNumNotes;
    fiNumNotes = aiNumNotes;
    const int enabled = std::min<int>(aiNumNotes, columnCount());
    for (int i = 0; i < enabled; ++i)
        setColumnEnabled(i, true);
    for (int i = enabled; i < std::min(previous, columnCount()); ++i)
        setColumnEnabled(i, false);
    fiPrevNumNotes = aiNumNotes;

    HVolTo->setValue(aiNumNotes); // runs HVolTo_Change when the position changes
    mnuSetNumber->setText(QStringLiteral("Set Number Of Notes (Currently %1)").arg(aiNumNotes));
    UpdateRAWtext(-1);
}

void frmRudimix::mnuSetNumber_Click()
{
    const PatternStep step(*this); // one step, none for the same number again
    IDialogs& dialogs = mModule.services().dialogs;
    const int maximum = mModule.giMaxNotes;
    const QString answer
        = dialogs.inputBox(QStringLiteral("Enter a new total # of notes (max %1)").arg(maximum),
            QStringLiteral("Enable How Many Notes?"), QString::number(fiNumNotes));
    if (answer.isEmpty())
        return;
    const double value = basic::val(answer);
    if (value < 1 || value > maximum) {
        dialogs.messageBox(
            QStringLiteral("Number of notes must be a whole number between 1 and %1").arg(maximum),
            QStringLiteral("Invalid Number of Notes"), MsgIcon::Error);
        return;
    }
    // Within 1 .. maximum the rounded value always fits.
    SetNumberOfNotes(basic::toInt16(value).value_or(std::int16_t(maximum)));
}
