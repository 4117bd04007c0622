#include "frmrawsetup.h"

#include "modrudimix.h"

frmRAWsetup::frmRAWsetup(modRudimix& module, QWidget* parent)
    : QDialog(parent)
    , mModule(module)
{
    setWindowTitle(QStringLiteral("Setup"));
}
