#include "frmrudimix.h"

#include "modrudimix.h"

#include <QCloseEvent>

// Until the note columns land the window is empty.
frmRudimix::frmRudimix(modRudimix& module, QWidget* parent)
    : QMainWindow(parent)
    , mModule(module)
{
    setObjectName(QStringLiteral("frmRudimix"));
    setWindowTitle(QStringLiteral("Build RAW Patterns / Rudiments"));
    resize(539, 406);
}

frmRudimix::~frmRudimix() = default;

int frmRudimix::columnCount() const { return 0; }
QScrollBar* frmRudimix::VertRes(int) const { return nullptr; }
QScrollBar* frmRudimix::VertVolume(int) const { return nullptr; }
CellCheckBox* frmRudimix::chkFlammed(int) const { return nullptr; }
CellCheckBox* frmRudimix::chkVoice(int, int) const { return nullptr; }
void frmRudimix::ReadRawText(QString) { }
bool frmRudimix::AnalyzeSub(const QString&, std::int16_t&, std::int16_t&, bool&, std::int16_t&)
{
    return false;
}
void frmRudimix::UpdateRAWtext(std::int16_t) { }
QString frmRudimix::MakeARAWsub(std::int16_t) { return {}; }
void frmRudimix::MakeARawSubParts(std::int16_t, QString&, std::int16_t&, bool&, QString&, QString&) { }
void frmRudimix::AddMoreControls() { }
void frmRudimix::SetNumberOfNotes(std::int16_t) { }
void frmRudimix::HVolFrom_Change() { }
void frmRudimix::HVolTo_Change() { }
void frmRudimix::cmdRangeSet_Click() { }
void frmRudimix::cmdTest_Click() { }
void frmRudimix::cmdSetup_Click() { }
void frmRudimix::mnuExit_Click() { close(); }
void frmRudimix::mnuPaste_Click() { }
void frmRudimix::mnuCopy_Click() { }
void frmRudimix::mnuSetNumber_Click() { }
void frmRudimix::Form_Load() { }
void frmRudimix::createColumn(int) { }
void frmRudimix::columnChanged(int) { }

void frmRudimix::closeEvent(QCloseEvent* event)
{
    event->accept();
    mModule.services().programEnd.endProgram();
}
