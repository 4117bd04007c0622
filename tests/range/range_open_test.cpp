// Opening through the running program: the editor's Range... button shows the window modally,
// afresh at every opening.
#include "app.h"
#include "fakes.h"
#include "frmelementsettings.h"
#include "frmrudimix.h"
#include "modal.h"
#include "tempdir.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

void whileOpen(frmRudimix& editor, const std::function<void(frmElementSettings&)>& inside)
{
    whileModalOpen<frmElementSettings>([&] { editor.cmdRangeSet_Click(); }, inside);
}

} // namespace

TEST(RangeOpening, RangeButtonOpensAFreshModalWindowEachTime)
{
    TempFolder folder;
    TempFolder::write(
        folder.file(QStringLiteral("TAMBRIX.INI")), "[program]\r\nMaxRudimixNotes=32\r\n");
    FakeServices fakes;
    RudimixApp app(fakes.services, folder.path());
    ASSERT_TRUE(app.start());
    frmRudimix& editor = *app.editor();
    editor.HVolFrom->setValue(2);
    editor.HVolTo->setValue(4);

    QPointer<frmElementSettings> first;
    whileOpen(editor, [&](frmElementSettings& w) {
        first = &w;
        EXPECT_EQ(QApplication::activeModalWidget(), &w);
        EXPECT_NE(w.windowModality(), Qt::NonModal);
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Change Multiple Note Settings"));
        EXPECT_EQ(w.cboVolume->currentText(), QStringLiteral("5"));
        EXPECT_EQ(w.cboType->currentText(), QStringLiteral("1 - Quarter Note"));
        EXPECT_TRUE(w.optVolume[1]->isChecked());
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        EXPECT_EQ(QApplication::focusWidget(), w.cboType);
        w.cboType->setCurrentIndex(w.cboType->findData(11));
        w.cmdApplyNoteChanges->click();
        w.cboVolume->setCurrentIndex(w.cboVolume->findText(QStringLiteral("9")));
        w.optVolume[0]->click();
        w.cmdSetVolume->click();
        w.cmdClose->click();
        EXPECT_FALSE(w.isVisible());
    });
    EXPECT_TRUE(first.isNull()); // dropped when it closed
    EXPECT_EQ(editor.txtRAW->text(),
        QStringLiteral("48X,B9,B9,B9X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55"));

    whileOpen(editor, [&](frmElementSettings& w) {
        EXPECT_TRUE(w.fbActivated);
        EXPECT_EQ(w.cboVolume->currentText(), QStringLiteral("5"));
        EXPECT_EQ(w.cboType->currentText(), QStringLiteral("1 - Quarter Note"));
        EXPECT_TRUE(w.optVolume[1]->isChecked());
        EXPECT_FALSE(w.optVolume[0]->isChecked());
        w.close(); // the close box
    });
    EXPECT_TRUE(fakes.dialogs.boxes.empty());
}
