// Undo and redo of the user's actions on the pattern, through the window's own shortcuts.
#include "editorfixture.h"
#include "frmrawsetup.h"
#include "modal.h"

#include <QAction>
#include <QUndoStack>
#include <functional>

namespace {

// What undo and redo must put back, as the window shows it.
struct Shown {
    QString line, caption, to;
    int toBar = 0, enabled = 0;
    std::vector<notation::Note> notes; // every column, those out of use too
    QStringList tips; // the descriptions of the notes in use
    bool operator==(const Shown&) const = default;
};

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
    Shown shown() const
    {
        Shown s { line(), editor->mnuSetNumber->text(), editor->txtTo->text(),
            editor->HVolTo->value(), enabledColumns(), {}, {} };
        for (int i = 0; i < editor->columnCount(); ++i) {
            s.notes.push_back(note(i));
            if (i < editor->fiNumNotes)
                s.tips << editor->chkFlammed(i)->toolTip() << editor->chkVoice(5, i)->toolTip();
        }
        return s;
    }
    // A key as the user presses it, the focus on one of the window's controls in turn.
    void press(int k, QKeyCombination keys)
    {
        QWidget* const places[]
            = { editor->txtRAW, editor->VertVolume(3), editor->chkVoice(2, 5), editor->VertRes(0) };
        QWidget* where = places[k % 4];
        where->setFocus();
        QTest::keyClick(where, keys.key(), keys.keyboardModifiers());
    }
    void arrows(QScrollBar* bar, QStyle::SubControl arrow, int times, int apartMs)
    {
        for (int k = 0; k < times; ++k, now += apartMs)
            clickPart(bar, arrow);
    }
    void answer(const QString& text) { fakes.dialogs.inputAnswers.push_back(text); }
};

struct Action {
    const char* name;
    std::function<void()> act;
    int steps;
};

} // namespace

TEST_F(UndoTest, EachActionIsOneStepThatUndoAndRedoPutBackExactly)
{
    const QString pasted = QStringLiteral("RAW [x]=") + QStringList(30, "19X>F").join(',');
    const Action actions[] = {
        { "three column edits",
            [this] {
                QTest::mouseClick(editor->chkFlammed(1), Qt::LeftButton);
                QTest::mouseClick(editor->chkVoice(2, 5), Qt::LeftButton);
                clickPart(editor->VertVolume(3), QStyle::SC_ScrollBarAddLine);
            },
            3 },
        { "paste", [&] { answer(pasted), editor->mnuPaste_Click(); }, 1 },
        { "refused paste",
            [this] { answer(QStringList(33, "45").join(',')), editor->mnuPaste_Click(); }, 0 },
        { "set number 5", [this] { answer("5"), editor->mnuSetNumber_Click(); }, 1 },
        { "same number", [this] { answer("22"), editor->mnuSetNumber_Click(); }, 0 },
        { "thumb drag",
            [this] {
                QScrollBar* bar = editor->VertRes(5);
                const QPoint from = part(bar, QStyle::SC_ScrollBarSlider).center();
                const QPoint to(from.x(), part(bar, QStyle::SC_ScrollBarGroove).bottom());
                QTest::mousePress(bar, Qt::LeftButton, {}, from);
                for (int y = from.y(); y <= to.y(); y += 3)
                    dragTo(bar, QPoint(from.x(), y));
                QTest::mouseRelease(bar, Qt::LeftButton, {}, to);
            },
            1 },
        { "arrow clicks 0.9 s apart",
            [this] { arrows(editor->VertRes(2), QStyle::SC_ScrollBarSubLine, 3, 900); }, 1 },
        { "arrow clicks 1 s apart",
            [this] { arrows(editor->VertRes(2), QStyle::SC_ScrollBarSubLine, 3, 1000); }, 3 },
        { "arrow clicks on two bars",
            [this] {
                arrows(editor->VertRes(2), QStyle::SC_ScrollBarSubLine, 1, 10);
                arrows(editor->VertVolume(2), QStyle::SC_ScrollBarSubLine, 1, 10);
                arrows(editor->VertRes(2), QStyle::SC_ScrollBarSubLine, 1, 10);
            },
            3 },
        { "arrow down and up again",
            [this] {
                arrows(editor->VertRes(2), QStyle::SC_ScrollBarSubLine, 1, 10);
                arrows(editor->VertRes(2), QStyle::SC_ScrollBarAddLine, 1, 10);
            },
            0 },
    };
    for (const Action& action : actions) {
        SCOPED_TRACE(action.name);
        start();
        const Shown before = shown();
        action.act();
        const Shown after = shown();
        EXPECT_EQ(editor->undoStack->count(), action.steps);
        EXPECT_EQ(before == after, action.steps == 0);
        for (int k = 0; k < action.steps; ++k)
            press(k, Qt::CTRL | Qt::Key_Z);
        EXPECT_TRUE(shown() == before);
        for (int k = 0; k < action.steps; ++k)
            press(k, k % 2 ? Qt::CTRL | Qt::SHIFT | Qt::Key_Z : Qt::CTRL | Qt::Key_Y);
        EXPECT_TRUE(shown() == after);
        EXPECT_TRUE(fakes.dialogs.inputAnswers.empty());
    }
}

TEST_F(UndoTest, HistoryKeepsTheLatest200StepsAndANewEditDropsTheRedoSteps)
{
    start();
    Shown oldest;
    for (int k = 1; k <= 250; ++k) {
        QTest::mouseClick(editor->chkVoice(k % 6, k % 20), Qt::LeftButton);
        if (k == 50)
            oldest = shown();
    }
    EXPECT_EQ(editor->undoStack->count(), frmRudimix::kUndoLimit);
    for (int k = 0; k < 250; ++k)
        editor->actUndo->trigger();
    EXPECT_TRUE(shown() == oldest);

    editor->actRedo->trigger();
    QTest::mouseClick(editor->chkFlammed(0), Qt::LeftButton);
    EXPECT_EQ(editor->undoStack->count(), 2);
    EXPECT_FALSE(editor->undoStack->canRedo());
}

TEST_F(UndoTest, ShortcutsDoNothingWhileAModalWindowIsOpen)
{
    start();
    QTest::mouseClick(editor->chkFlammed(0), Qt::LeftButton);
    const QString edited = line();
    whileModalOpen<frmRAWsetup>([&] { editor->cmdSetup_Click(); },
        [&](frmRAWsetup& setup) {
            QTest::keyClick(editor.get(), Qt::Key_Z, Qt::ControlModifier);
            editor->actUndo->trigger();
            EXPECT_EQ(line(), edited);
            setup.close();
        });
    editor->activateWindow(); // the editor is the active window again
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    press(0, Qt::CTRL | Qt::Key_Z);
    EXPECT_EQ(line(), QLatin1String(kStartLine));
}
