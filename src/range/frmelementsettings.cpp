#include "frmelementsettings.h"

#include "frmrudimix.h"

frmElementSettings::frmElementSettings(frmRudimix& editor, QWidget* parent)
    : QDialog(parent ? parent : &editor)
    , fxEditor(editor)
{
    setWindowTitle(QStringLiteral("Change Multiple Note Settings"));
}
