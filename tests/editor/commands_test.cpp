#include "editorfixture.h"
#include "frmrawsetup.h"

#include <QAction>
#include <QTimer>

namespace {

QString repeatedTokens(const char* token, int count)
{
    QStringList pieces;
    for (int k = 0; k < count; ++k)
        pieces << QLatin1String(token);
    return pieces.join(QLatin1Char(','));
}

} // namespace

TEST_F(EditorTest, PasteLoadsALineAndMakesItThePattern)
{
    struct Case {
        QString answer;
        QString shown;
        int notes;
        int boxes; // messages of refused tokens
    };
    const Case cases[] = {
        { QStringLiteral("RAW [new-rud]=48X,45"), QStringLiteral("48X,45"), 2, 0 },
        { QStringLiteral("48x,45>b"), QStringLiteral("48X,45>B"), 2, 0 },
        // Inner blanks stay: "19x " is not flammed, " a0>f" has a blank as its type.
        { QStringLiteral("  19x , a0>f  "), QStringLiteral("19,45"), 2, 1 },
        { QStringLiteral("a=b=48"), QStringLiteral("48"), 1, 0 },
        { repeatedTokens("65>d", 32), repeatedTokens("65>D", 32), 32, 0 },
        // Refused tokens leave their columns as they were: 45 and 45 of the start pattern.
        { QStringLiteral("58,45>Q,0,19X"), QStringLiteral("58,45,45,19X"), 4, 2 },
        // A one-line field: a line end (LF, CR LF, CR) ends the text, a second line is dropped.
        { QStringLiteral("48X,45\n"), QStringLiteral("48X,45"), 2, 0 },
        { QStringLiteral("RAW [x]=48X,45\r\n"), QStringLiteral("48X,45"), 2, 0 },
        { QStringLiteral("48X,45\n65,65,65\n"), QStringLiteral("48X,45"), 2, 0 },
        { QStringLiteral("48X,45\r65,65,65"), QStringLiteral("48X,45"), 2, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.toStdString());
        load(64);
        fakes.dialogs.inputAnswers = { c.answer };
        editor->mnuPaste->trigger();
        ASSERT_EQ(fakes.dialogs.inputs.size(), 1u);
        EXPECT_EQ(
            fakes.dialogs.inputs[0].prompt, QStringLiteral("Paste your RAW definition line here"));
        EXPECT_EQ(fakes.dialogs.inputs[0].title, QStringLiteral("Paste RAW from Clipboard"));
        EXPECT_TRUE(fakes.dialogs.inputs[0].defaultText.isEmpty());
        EXPECT_EQ(int(fakes.dialogs.boxes.size()), c.boxes);
        EXPECT_EQ(line(), c.shown);
        EXPECT_EQ(editor->fiNumNotes, c.notes);
        EXPECT_EQ(enabledColumns(), c.notes);
        EXPECT_EQ(editor->HVolTo->value(), c.notes);
        EXPECT_EQ(editor->mnuSetNumber->text(),
            QStringLiteral("Set Number Of Notes (Currently %1)").arg(c.notes));
        EXPECT_EQ(editor->chkVoice(0, 0)->toolTip().left(9), QStringLiteral("Note # 1 "));
        fakes.dialogs.boxes.clear();
        fakes.dialogs.inputs.clear();
    }
}

TEST_F(EditorTest, PasteRefusesTextsItCannotTakeAndChangesNothing)
{
    struct Case {
        QString answer;
        const char* text; // nullptr: no message
        const char* title;
    };
    const Case cases[] = {
        { QString(), nullptr, nullptr },
        { repeatedTokens("48", 33),
            "Too many notes in that string.\n\nThis can only handle 32 notes at a time",
            "Too Many Notes!" },
        // 33 pieces counted with their blanks, after the name prefix.
        { QStringLiteral("RAW [a,b]= ") + repeatedTokens(" ", 33),
            "Too many notes in that string.\n\nThis can only handle 32 notes at a time",
            "Too Many Notes!" },
        { QStringLiteral("RAW [x]="), "There are no notes in that string.",
            "Paste RAW from Clipboard" },
        { QStringLiteral("   "), "There are no notes in that string.", "Paste RAW from Clipboard" },
        { QStringLiteral("RAW [x]=  =  "), "There are no notes in that string.",
            "Paste RAW from Clipboard" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.toStdString());
        load(64);
        editor->HVolTo->setValue(7);
        fakes.dialogs.boxes.clear();
        fakes.dialogs.inputAnswers = { c.answer };
        editor->mnuPaste->trigger();
        if (c.text) {
            ASSERT_EQ(fakes.dialogs.boxes.size(), 1u);
            EXPECT_EQ(fakes.dialogs.boxes[0].text, QLatin1String(c.text));
            EXPECT_EQ(fakes.dialogs.boxes[0].title, QLatin1String(c.title));
            EXPECT_EQ(fakes.dialogs.boxes[0].icon, MsgIcon::Information);
        } else {
            EXPECT_TRUE(fakes.dialogs.boxes.empty());
        }
        EXPECT_EQ(line(), QLatin1String(kStartLine));
        EXPECT_EQ(editor->fiNumNotes, 22);
        EXPECT_EQ(enabledColumns(), 22);
        EXPECT_EQ(editor->HVolTo->value(), 7);
        EXPECT_EQ(note(0), (notation::Note { 4, 8, true, 1 }));
    }
}

TEST_F(EditorTest, CopyPutsTheLineOnTheClipboardAndBeeps)
{
    load();
    QTest::mouseClick(editor->chkVoice(3, 1), Qt::LeftButton);
    editor->mnuCopy->trigger();
    EXPECT_EQ(fakes.clipboard.text, line());
    EXPECT_EQ(fakes.clipboard.beeps, 1);
    EXPECT_TRUE(fakes.clipboard.text.startsWith(QStringLiteral("48X,45>A+D,45,")));

    // Pasting the copied line back gives the same line and the same columns.
    const QString copied = fakes.clipboard.text;
    editor->SetNumberOfNotes(3);
    fakes.dialogs.inputAnswers = { copied };
    editor->mnuPaste->trigger();
    EXPECT_EQ(line(), copied);
    EXPECT_EQ(editor->fiNumNotes, 22);
    EXPECT_EQ(note(1), (notation::Note { 4, 5, false, 9 }));
}

TEST_F(EditorTest, ExitAndTheCloseBoxEndTheProgram)
{
    load(32, true);
    editor->mnuExit->trigger();
    EXPECT_EQ(fakes.programEnd.calls, 1);
    EXPECT_FALSE(editor->isVisible());

    load(32, true);
    fakes.programEnd.calls = 0;
    editor->close();
    EXPECT_EQ(fakes.programEnd.calls, 1);
}

TEST_F(EditorTest, TheMenuAccessKeysRunTheCommands)
{
    load(32, true);
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));

    QTest::keyClick(editor.get(), Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(fakes.clipboard.text, QLatin1String(kStartLine));
    EXPECT_EQ(fakes.clipboard.beeps, 1);

    fakes.dialogs.inputAnswers = { QStringLiteral("73") };
    QTest::keyClick(editor.get(), Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(fakes.dialogs.inputs.size(), 1u);
    EXPECT_EQ(line(), QStringLiteral("73"));

    QTest::keyClick(editor.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(fakes.programEnd.calls, 1);
}

TEST_F(EditorTest, TheSetupButtonOpensTheSetupWindowModally)
{
    load(32, true);
    QString opened;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* setup = qobject_cast<frmRAWsetup*>(modal)) {
            opened = setup->metaObject()->className();
            EXPECT_EQ(setup->parentWidget(), editor.get());
            setup->reject();
        } else if (modal) {
            modal->close();
        }
    });
    QTest::mouseClick(editor->cmdSetup, Qt::LeftButton);
    EXPECT_EQ(opened, QStringLiteral("frmRAWsetup"));
}
