#include "editorfixture.h"

#include <QAction>
#include <QSignalSpy>

TEST_F(EditorTest, TheEndOfTheRangeNeverPassesTheLastNote)
{
    load();
    QSignalSpy shown(editor->txtTo, &QLineEdit::textChanged);
    editor->HVolTo->setValue(30);
    EXPECT_EQ(editor->HVolTo->value(), 22);
    EXPECT_EQ(editor->txtTo->text(), QStringLiteral("22"));
    for (const QList<QVariant>& change : shown)
        EXPECT_EQ(change.at(0).toString(), QStringLiteral("22"));
    EXPECT_EQ(editor->lineX2(), 340);

    editor->HVolTo->setValue(5);
    EXPECT_EQ(editor->txtTo->text(), QStringLiteral("5"));
    EXPECT_EQ(editor->lineX1(), 78);
    EXPECT_EQ(editor->lineX2(), 88 + 12 * 4);
}

TEST_F(EditorTest, TheStartOfTheRangeMayLieAfterItsEnd)
{
    load();
    editor->HVolFrom->setValue(30);
    EXPECT_EQ(editor->txtFrom->text(), QStringLiteral("30"));
    EXPECT_EQ(editor->lineX1(), 78 + 12 * 29);
    EXPECT_EQ(editor->lineX2(), 340);
    EXPECT_EQ(editor->lineSettings->geometry(), QRect(340, 365, 426 - 340, 2));
}

TEST_F(EditorTest, TheRangeBarsMoveOnePositionPerArrowOrTrackClick)
{
    load(32, true);
    clickPart(editor->HVolFrom, QStyle::SC_ScrollBarAddLine);
    EXPECT_EQ(editor->txtFrom->text(), QStringLiteral("2"));
    clickPart(editor->HVolFrom, QStyle::SC_ScrollBarAddPage);
    EXPECT_EQ(editor->txtFrom->text(), QStringLiteral("3"));
    EXPECT_EQ(editor->lineX1(), 78 + 24);
    clickPart(editor->HVolTo, QStyle::SC_ScrollBarSubLine);
    EXPECT_EQ(editor->txtTo->text(), QStringLiteral("21"));
    EXPECT_EQ(editor->lineX2(), 88 + 12 * 20);
    clickPart(editor->HVolTo, QStyle::SC_ScrollBarAddLine);
    clickPart(editor->HVolTo, QStyle::SC_ScrollBarAddLine);
    EXPECT_EQ(editor->HVolTo->value(), 22);
}

TEST_F(EditorTest, TheRangeButtonOpensTheRangeEditor)
{
    load(32, true);
    QTest::mouseClick(editor->cmdRangeSet, Qt::LeftButton); // nothing wired: nothing happens
    int opened = 0;
    editor->rangeEditorOpener = [&](frmRudimix& e) {
        EXPECT_EQ(&e, editor.get());
        ++opened;
    };
    QTest::mouseClick(editor->cmdRangeSet, Qt::LeftButton);
    EXPECT_EQ(opened, 1);
}

TEST_F(EditorTest, FewerNotesDisableColumnsThatKeepTheirValuesForLater)
{
    load();
    QTest::mouseClick(editor->chkVoice(1, 15), Qt::LeftButton); // 65 -> 65>A+B
    editor->SetNumberOfNotes(10);
    EXPECT_EQ(editor->fiNumNotes, 10);
    EXPECT_EQ(editor->fiPrevNumNotes, 10);
    EXPECT_EQ(enabledColumns(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(columnEnabled(i));
    EXPECT_EQ(line(), QStringLiteral("48X,45,45,48X,45,45,48,65,65,65"));
    EXPECT_EQ(editor->HVolTo->value(), 10);
    EXPECT_EQ(editor->txtTo->text(), QStringLiteral("10"));
    EXPECT_EQ(editor->lineX2(), 196);
    EXPECT_EQ(editor->mnuSetNumber->text(), QStringLiteral("Set Number Of Notes (Currently 10)"));

    editor->SetNumberOfNotes(25);
    EXPECT_EQ(enabledColumns(), 25);
    EXPECT_EQ(line(),
        QStringLiteral("48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65>A+B,38,73,73,55,55,55,"
                       "11,11,11"));
    EXPECT_EQ(editor->chkVoice(0, 24)->toolTip(),
        QStringLiteral("Note # 25  -  Type 1;  Vol 1;  Voices=A"));
    EXPECT_EQ(editor->HVolTo->value(), 25);
}

TEST_F(EditorTest, TheSameNumberAgainMovesTheRangeEndBackAndRebuildsTheLine)
{
    load();
    editor->ReadRawText(QStringLiteral("48x,45>c"));
    editor->HVolFrom->setValue(2);
    editor->HVolTo->setValue(1);
    editor->SetNumberOfNotes(2);
    EXPECT_EQ(line(), QStringLiteral("48X,45>C"));
    EXPECT_EQ(editor->HVolTo->value(), 2);
    EXPECT_EQ(editor->HVolFrom->value(), 2);
    EXPECT_EQ(enabledColumns(), 2);

    editor->HVolTo->setValue(1);
    editor->SetNumberOfNotes(2);
    EXPECT_EQ(editor->HVolTo->value(), 2);
    EXPECT_EQ(editor->txtTo->text(), QStringLiteral("2"));
    EXPECT_EQ(enabledColumns(), 2);
}

TEST_F(EditorTest, TheSetNumberCommandTakesTheAnswersNumber)
{
    struct Case {
        const char* answer;
        int notes; // 0: refused with the message
    };
    const Case cases[] = {
        { "0", 0 },
        { "abc", 0 },
        { "33", 0 },
        { "-5", 0 },
        { "0.4", 0 },
        { "32.4", 0 },
        { "12.5", 12 },
        { "13.5", 14 },
        { "   7", 7 },
        { "7 word", 7 },
        { "32", 32 },
        { "1", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        load();
        fakes.dialogs.inputs.clear();
        fakes.dialogs.boxes.clear();
        fakes.dialogs.inputAnswers = { QLatin1String(c.answer) };
        editor->mnuSetNumber->trigger();
        ASSERT_EQ(fakes.dialogs.inputs.size(), 1u);
        EXPECT_EQ(fakes.dialogs.inputs[0].prompt,
            QStringLiteral("Enter a new total # of notes (max 32)"));
        EXPECT_EQ(fakes.dialogs.inputs[0].title, QStringLiteral("Enable How Many Notes?"));
        EXPECT_EQ(fakes.dialogs.inputs[0].defaultText, QStringLiteral("22"));
        if (c.notes == 0) {
            ASSERT_EQ(fakes.dialogs.boxes.size(), 1u);
            EXPECT_EQ(fakes.dialogs.boxes[0].text,
                QStringLiteral("Number of notes must be a whole number between 1 and 32"));
            EXPECT_EQ(fakes.dialogs.boxes[0].title, QStringLiteral("Invalid Number of Notes"));
            EXPECT_EQ(fakes.dialogs.boxes[0].icon, MsgIcon::Error);
            EXPECT_EQ(editor->fiNumNotes, 22);
            EXPECT_EQ(line(), QLatin1String(kStartLine));
        } else {
            EXPECT_TRUE(fakes.dialogs.boxes.empty());
            EXPECT_EQ(editor->fiNumNotes, c.notes);
            EXPECT_EQ(enabledColumns(), c.notes);
            EXPECT_EQ(tokens().size(), c.notes);
        }
    }
}

TEST_F(EditorTest, CancellingTheSetNumberCommandChangesNothing)
{
    load(64);
    fakes.dialogs.inputAnswers = { QString() };
    editor->mnuSetNumber->trigger();
    EXPECT_EQ(
        fakes.dialogs.inputs.at(0).prompt, QStringLiteral("Enter a new total # of notes (max 64)"));
    EXPECT_TRUE(fakes.dialogs.boxes.empty());
    EXPECT_EQ(editor->fiNumNotes, 22);
    EXPECT_EQ(enabledColumns(), 22);

    fakes.dialogs.inputAnswers = { QStringLiteral("64") };
    editor->mnuSetNumber->trigger();
    EXPECT_EQ(enabledColumns(), 64);
    EXPECT_EQ(editor->HVolTo->value(), 64);
    EXPECT_EQ(editor->lineX2(), 834 + 10);
    EXPECT_EQ(editor->txtRAW->cursorPosition(), 0); // a long line shows from its start
}
