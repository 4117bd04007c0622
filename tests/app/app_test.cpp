// The running program as a whole: start-up, the editor's SETUP and TEST buttons, and the next
// start after a new maximum.
#include "app.h"
#include "defaultheader.h"
#include "fakes.h"
#include "frmrawsetup.h"
#include "frmrudimix.h"
#include "modal.h"
#include "picturebutton.h"
#include "tempdir.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

// Clicks SETUP and runs `inside` while the modal window is open.
void whileSetupOpen(frmRudimix& editor, const std::function<void(frmRAWsetup&)>& inside)
{
    whileModalOpen<frmRAWsetup>(
        [&] { QTest::mouseClick(editor.cmdSetup, Qt::LeftButton); }, inside);
}

struct RunningProgram {
    TempFolder folder;
    FakeServices fakes;
    std::unique_ptr<RudimixApp> app;

    explicit RunningProgram(const QByteArray& settings)
    {
        TempFolder::write(folder.file(QStringLiteral("TAMBRIX.INI")), settings);
    }
    frmRudimix& start()
    {
        app = std::make_unique<RudimixApp>(fakes.services, folder.path());
        EXPECT_TRUE(app->start());
        return *app->editor();
    }
    QByteArray script() const { return TempFolder::read(folder.file("DudEderava.drum")); }
};

const QByteArray kDefaultHeader = QByteArray(kDefaultHeaderText) + "\r\n";

const QByteArray kStartLine = "48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55";

} // namespace

TEST(RunningProgram, TestButtonWritesTheScriptAndStartsTheHost)
{
    RunningProgram program("[program]\r\nMaxRudimixNotes=32\r\n");
    frmRudimix& editor = program.start();
    QTest::mouseClick(editor.cmdTest, Qt::LeftButton);

    EXPECT_EQ(
        program.script(), kDefaultHeader + "RAW [new-rud]=" + kStartLine + "\r\n[new-rud]\r\n");
    ASSERT_EQ(program.fakes.launcher.starts.size(), 1u);
    const auto& start = program.fakes.launcher.starts[0];
    EXPECT_EQ(start.program, program.folder.file("TAMBRIX.EXE"));
    EXPECT_EQ(start.arguments,
        QStringList({ QStringLiteral("-notimesig"), program.folder.file("DudEderava.drum") }));
    EXPECT_EQ(start.workingFolder, program.folder.path());
    EXPECT_TRUE(program.fakes.dialogs.boxes.empty());
}

TEST(RunningProgram, SetupShowsTheDefaultHeaderAndTheNextTestRunUsesTheStoredOne)
{
    RunningProgram program("[program]\r\nMaxRudimixNotes=40\r\n");
    frmRudimix& editor = program.start();
    EXPECT_EQ(program.app->module().gsTestHeader.toUtf8(), kDefaultHeader.chopped(2));
    whileSetupOpen(editor, [&](frmRAWsetup& setup) {
        EXPECT_EQ(setup.txtHeader->toPlainText().toUtf8(),
            QByteArray(kDefaultHeader).replace("\r\n", "\n").chopped(1));
        EXPECT_EQ(setup.cboMaxNotes->currentText(), QStringLiteral("40"));
        setup.txtHeader->setPlainText(QStringLiteral("SET TEMPO=90\nSET REPEATS=1"));
        QTest::mouseClick(setup.cmdOK, Qt::LeftButton);
    });
    EXPECT_EQ(program.app->module().gsTestHeader, QStringLiteral("SET TEMPO=90\r\nSET REPEATS=1"));

    QTest::mouseClick(editor.cmdTest, Qt::LeftButton);
    EXPECT_EQ(program.script(),
        "SET TEMPO=90\r\nSET REPEATS=1\r\nRAW [new-rud]=" + kStartLine + "\r\n[new-rud]\r\n");
}

TEST(RunningProgram, ANewMaximumTakesEffectAtTheNextStart)
{
    RunningProgram program("; host settings\r\n[program]\r\nMaxRudimixNotes=32\r\nSkin=blue\r\n");
    frmRudimix& editor = program.start();
    EXPECT_EQ(editor.columnCount(), 32);
    program.fakes.dialogs.answers.push_back(MsgAnswer::Yes);
    whileSetupOpen(editor, [&](frmRAWsetup& setup) {
        setup.cboMaxNotes->setCurrentIndex(setup.cboMaxNotes->findText(QStringLiteral("48")));
        QTest::mouseClick(setup.cmdOK, Qt::LeftButton);
    });
    EXPECT_EQ(program.fakes.programEnd.calls, 1);
    EXPECT_EQ(TempFolder::read(program.folder.file("TAMBRIX.INI")),
        "; host settings\r\n[program]\r\nMaxRudimixNotes=48\r\nSkin=blue\r\n");

    // The user starts the program again.
    FakeServices again;
    RudimixApp next(again.services, program.folder.path());
    ASSERT_TRUE(next.start());
    EXPECT_EQ(next.editor()->columnCount(), 48);
    EXPECT_EQ(next.editor()->HVolFrom->maximum(), 48);
}
