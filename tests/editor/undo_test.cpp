// Undo and redo of the user's actions on the pattern, through the window's own shortcuts.
#include "editorfixture.h"
#include "frmrawsetup.h"
#include "modal.h"

#include <QAction>
#include <QUndoStack>

class UndoTest : public EditorTest {
protected:
    std::int64_t now = 0;
    void start()
    {
        load(32, true);
        editor->historyClock = [this] { return now; };
        editor->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    }
    // All that undo and redo put back: the line, the caption, the To bar, every column's values
    // and the descriptions of the notes in use.
    QStringList shown() const
    {
        QStringList s { line(), editor->mnuSetNumber->text(), editor->txtTo->text(),
            QString::number(editor->HVolTo->value() * 100 + enabledColumns()) };
        for (int i = 0; i < editor->columnCount(); ++i) {
            const notation::Note n = note(i);
            s << QStringLiteral("%1 %2 %3 %4").arg(n.res).arg(n.vol).arg(n.flammed).arg(n.voices)
              << (i < editor->fiNumNotes ? editor->chkVoice(i % 6, i)->toolTip() : QString());
        }
        return s;
    }
    // A key with the focus on one of the window's controls in turn.
    void press(int k, QKeyCombination keys)
    {
        QWidget* places[] = { editor->txtRAW, editor->VertVolume(3), editor->chkVoice(2, 5) };
        places[k % 3]->setFocus();
        QTest::keyClick(places[k % 3], keys.key(), keys.keyboardModifiers());
    }
    void arrows(QScrollBar* bar, int times, int apartMs)
    {
        for (int k = 0; k < times; ++k, now += apartMs)
            clickPart(bar, QStyle::SC_ScrollBarSubLine);
    }
    void menu(void (frmRudimix::*command)(), const QString& answer)
    {
        fakes.dialogs.inputAnswers.push_back(answer);
        (editor.get()->*command)();
    }
    void drag(QScrollBar* bar)
    {
        const QPoint from = part(bar, QStyle::SC_ScrollBarSlider).center();
        QTest::mousePress(bar, Qt::LeftButton, {}, from);
        for (int y = from.y(); y < bar->height(); y += 3)
            dragTo(bar, QPoint(from.x(), y));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(from.x(), bar->height() - 12));
    }
};

TEST_F(UndoTest, EachActionIsOneStepThatUndoAndRedoPutBackExactly)
{
    using F = frmRudimix;
    const QString pasted = QStringLiteral("RAW [x]=") + QStringList(30, "19X>F").join(',');
    const std::tuple<const char*, int, std::function<void(F&)>> actions[] = {
        { "3 edits", 3,
            [&](F& e) {
                clickPart(e.VertVolume(3), QStyle::SC_ScrollBarAddLine);
                QTest::mouseClick(e.chkFlammed(1), Qt::LeftButton);
                QTest::mouseClick(e.chkVoice(2, 5), Qt::LeftButton);
            } },
        { "paste", 1, [&](F&) { menu(&F::mnuPaste_Click, pasted); } },
        { "refused paste", 0,
            [&](F&) { menu(&F::mnuPaste_Click, QStringList(33, "4").join(',')); } },
        { "set number 5", 1, [&](F&) { menu(&F::mnuSetNumber_Click, "5"); } },
        { "same number", 0, [&](F&) { menu(&F::mnuSetNumber_Click, "22"); } },
        { "thumb drag", 1, [&](F& e) { drag(e.VertRes(5)); } },
        { "arrows 0.9 s apart", 1, [&](F& e) { arrows(e.VertRes(2), 3, 900); } },
        { "arrows 1 s apart", 3, [&](F& e) { arrows(e.VertRes(2), 3, 1000); } },
        { "two bars", 2, [&](F& e) { arrows(e.VertRes(2), 1, 9), arrows(e.VertVolume(2), 1, 9); } },
    };
    for (const auto& [name, steps, act] : actions) {
        SCOPED_TRACE(name);
        start();
        const QStringList before = shown();
        act(*editor);
        const QStringList after = shown();
        EXPECT_EQ(editor->undoStack->count(), steps);
        EXPECT_EQ(before == after, steps == 0);
        for (int k = 0; k < steps; ++k)
            press(k, Qt::CTRL | Qt::Key_Z);
        EXPECT_EQ(shown(), before);
        for (int k = 0; k < steps; ++k)
            press(k, k % 2 ? Qt::CTRL | Qt::SHIFT | Qt::Key_Z : Qt::CTRL | Qt::Key_Y);
        EXPECT_EQ(shown(), after);
    }
}

TEST_F(UndoTest, KeepsTheLatest200StepsANewEditDropsRedoAndAModalWindowBlocksBoth)
{
    start();
    QStringList oldest;
    for (int k = 1; k <= 250; ++k, oldest = k == 51 ? shown() : oldest)
        QTest::mouseClick(editor->chkVoice(k % 6, k % 20), Qt::LeftButton);
    EXPECT_EQ(editor->undoStack->count(), frmRudimix::kUndoLimit);
    for (int k = 0; k < 250; ++k)
        editor->actUndo->trigger();
    EXPECT_EQ(shown(), oldest);

    editor->actRedo->trigger();
    const QString redone = line();
    whileModalOpen<frmRAWsetup>([&] { editor->cmdSetup_Click(); },
        [&](frmRAWsetup&) {
            QTest::keyClick(editor.get(), Qt::Key_Z, Qt::ControlModifier);
            editor->actUndo->trigger();
        });
    EXPECT_EQ(line(), redone); // nothing undone while the setup window was open
    QTest::mouseClick(editor->chkFlammed(0), Qt::LeftButton);
    EXPECT_EQ(editor->undoStack->count(), 2);
    EXPECT_FALSE(editor->undoStack->canRedo());
}
