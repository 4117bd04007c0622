#include "editorfixture.h"

#include <QAction>
#include <QFontInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenuBar>

namespace {

struct LayoutCase {
    int maxNotes;
    int clientWidth;
    int buttonLeft;
    int rangeBarWidth;
};

} // namespace

TEST_F(EditorTest, LoadLaysOutTheColumnsAndWidensTheWindowForMoreNotes)
{
    // L = left of the last column: txtRAW L + 75 wide, buttons at L + 32, range bars L - 37
    // wide, client area L + 89 wide.
    for (const LayoutCase& c : { LayoutCase { 32, 539, 482, 413 }, LayoutCase { 33, 551, 494, 425 },
             LayoutCase { 64, 923, 866, 797 } }) {
        SCOPED_TRACE(c.maxNotes);
        load(c.maxNotes);
        ASSERT_EQ(editor->columnCount(), c.maxNotes);
        EXPECT_EQ(editor->centralWidget()->size(), QSize(c.clientWidth, 406));
        for (int i = 0; i < c.maxNotes; ++i) {
            const int left = 78 + 12 * i;
            EXPECT_EQ(editor->chkFlammed(i)->geometry(), QRect(left, 38, 11, 15));
            EXPECT_EQ(editor->VertVolume(i)->geometry(), QRect(left, 56, 10, 99));
            EXPECT_EQ(editor->VertRes(i)->geometry(), QRect(left, 160, 10, 99));
            for (int letter = 0; letter < 6; ++letter)
                EXPECT_EQ(editor->chkVoice(letter, i)->geometry(),
                    QRect(left, 266 + 16 * letter, 11, 17));
            EXPECT_TRUE(editor->VertRes(i)->isVisibleTo(editor.get()));
            EXPECT_EQ(editor->VertRes(i)->objectName(), QStringLiteral("VertRes_%1").arg(i));
            EXPECT_EQ(editor->chkVoice(2, i)->objectName(), QStringLiteral("chkVoiceC_%1").arg(i));
        }
        EXPECT_EQ(editor->txtRAW->geometry(), QRect(12, 2, c.clientWidth - 14, 21));
        EXPECT_EQ(editor->cmdTest->geometry(), QRect(c.buttonLeft, 38, 55, 59));
        EXPECT_EQ(editor->cmdSetup->geometry(), QRect(c.buttonLeft, 104, 55, 57));
        EXPECT_EQ(editor->cmdRangeSet->geometry(), QRect(c.buttonLeft, 344, 55, 57));
        EXPECT_EQ(editor->HVolFrom->geometry(), QRect(62, 368, c.rangeBarWidth, 15));
        EXPECT_EQ(editor->HVolTo->geometry(), QRect(62, 386, c.rangeBarWidth, 15));
        for (QScrollBar* bar : { editor->HVolFrom, editor->HVolTo }) {
            EXPECT_EQ(bar->minimum(), 1);
            EXPECT_EQ(bar->maximum(), c.maxNotes);
        }
        // Controls that AddMoreControls leaves where they are.
        EXPECT_EQ(editor->txtFrom->geometry(), QRect(38, 366, 21, 17));
        EXPECT_EQ(editor->txtTo->geometry(), QRect(38, 384, 21, 17));
        EXPECT_EQ(editor->Label1[2]->geometry(), QRect(22, 198, 53, 19));
        EXPECT_EQ(editor->lblVoice[5]->geometry(), QRect(14, 348, 59, 13));
    }
}

TEST_F(EditorTest, LoadFillsTheStartPatternAndLeavesTheOtherColumnsAtTheStartValues)
{
    for (int maxNotes : { 32, 33, 64 }) {
        SCOPED_TRACE(maxNotes);
        load(maxNotes);
        EXPECT_EQ(editor->fiMaxResValue, 15);
        EXPECT_EQ(editor->fiNumNotes, 22);
        EXPECT_EQ(editor->fiPrevNumNotes, 22);
        EXPECT_FALSE(editor->fbReadingRaw);
        EXPECT_EQ(line(), QLatin1String(kStartLine));
        EXPECT_EQ(enabledColumns(), 22);
        for (int i = 0; i < 22; ++i)
            EXPECT_TRUE(columnEnabled(i)) << i;
        // Column 0 holds 48X: type position 12, volume position 1, flammed, voice A alone.
        EXPECT_EQ(editor->VertRes(0)->value(), 12);
        EXPECT_EQ(editor->VertVolume(0)->value(), 1);
        EXPECT_EQ(note(0), (notation::Note { 4, 8, true, 1 }));
        for (int i = 22; i < maxNotes; ++i) {
            EXPECT_EQ(editor->VertRes(i)->value(), 15) << i;
            EXPECT_EQ(editor->VertVolume(i)->value(), 8) << i;
            EXPECT_EQ(note(i), (notation::Note { 1, 1, false, 1 })) << i;
        }
        EXPECT_EQ(editor->HVolFrom->value(), 1);
        EXPECT_EQ(editor->HVolTo->value(), 22);
        EXPECT_EQ(editor->txtFrom->text(), QStringLiteral("1"));
        EXPECT_EQ(editor->txtTo->text(), QStringLiteral("22"));
        EXPECT_EQ(editor->lineX1(), 78);
        EXPECT_EQ(editor->lineX2(), 340);
        EXPECT_EQ(editor->lineSettings->geometry(), QRect(78, 365, 262, 2));
        EXPECT_EQ(
            editor->mnuSetNumber->text(), QStringLiteral("Set Number Of Notes (Currently 22)"));
        // Every note of the pattern is described on its column's seven check boxes.
        EXPECT_EQ(editor->chkVoice(5, 21)->toolTip(),
            QStringLiteral("Note # 22  -  Type 5;  Vol 5;  Voices=A"));
        EXPECT_EQ(editor->chkFlammed(3)->toolTip(),
            QStringLiteral("Note # 4  -  Type 4;  Vol 8;  Flammed;  Voices=A"));
        EXPECT_TRUE(fakes.dialogs.boxes.empty());
    }
}

TEST_F(EditorTest, LoadSetsTheDefaultTestHeader)
{
    load();
    const QStringList lines = module.gsTestHeader.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 10);
    EXPECT_EQ(lines[0], QStringLiteral("' Instrument set to GM Drums"));
    EXPECT_EQ(lines[1], QStringLiteral("Set TRACKINSTRUMENT(1) = 0"));
    EXPECT_EQ(lines[9], QStringLiteral("SET DTICKS=120;SET ETICKS=120;SET FTICKS=120"));
    EXPECT_FALSE(module.gsTestHeader.endsWith(QLatin1Char('\n')));
    EXPECT_FALSE(module.gsTestHeader.contains(QStringLiteral("<BR>")));
}

TEST_F(EditorTest, WindowCaptionsMenuAndPictures)
{
    load();
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("Build RAW Patterns / Rudiments"));
    EXPECT_FALSE(editor->windowIcon().isNull());
    const QList<QAction*> bar = editor->menuBar()->actions();
    ASSERT_EQ(bar.size(), 4);
    EXPECT_EQ(bar[0], editor->mnuExit);
    EXPECT_EQ(bar[3], editor->mnuSetNumber);
    EXPECT_EQ(editor->mnuExit->text(), QStringLiteral("E&xit"));
    EXPECT_EQ(editor->mnuPaste->text(), QStringLiteral("&Paste from Clipboard"));
    EXPECT_EQ(editor->mnuCopy->text(), QStringLiteral("&Copy to Clipboard"));
    for (QAction* command : bar)
        EXPECT_EQ(command->menu(), nullptr);
    EXPECT_TRUE(editor->txtRAW->isReadOnly());
    EXPECT_TRUE(editor->txtFrom->isReadOnly());
    EXPECT_EQ(QFontInfo(editor->txtRAW->font()).family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(QFontInfo(editor->Label1[0]->font()).family(), QStringLiteral("Liberation Sans"));
    for (PictureButton* button : { editor->cmdTest, editor->cmdSetup, editor->cmdRangeSet })
        EXPECT_FALSE(button->picture().isNull());

    // The glyph sheet: 75 x 96 pixels of black and white only, with both present.
    const QImage sheet = editor->picStuff->pixmap().toImage();
    ASSERT_EQ(sheet.size(), QSize(75, 96));
    int black = 0;
    for (int y = 0; y < sheet.height(); ++y)
        for (int x = 0; x < sheet.width(); ++x) {
            const QRgb pixel = sheet.pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(pixel == 0 || pixel == 0xFFFFFF) << x << "," << y;
            black += pixel == 0 ? 1 : 0;
        }
    EXPECT_GT(black, 200);
    EXPECT_LT(black, 75 * 96 / 2);
}

TEST_F(EditorTest, RangeTextsAndTheBlueLineAsTheyShow)
{
    load(32, true);
    const QImage client = editor->centralWidget()->grab().toImage();
    ASSERT_EQ(client.size(), QSize(539, 406));
    const auto colour = [&](int x, int y) { return QColor(client.pixel(x, y)); };

    // The line under notes 1 to 22 (78 to 340) is 2 pixels high around Y 366, in blue 0, 0, 192.
    const QColor blue(0, 0, 192);
    for (int x : { 78, 200, 339 }) {
        EXPECT_EQ(colour(x, 365), blue) << x;
        EXPECT_EQ(colour(x, 366), blue) << x;
        EXPECT_NE(colour(x, 364), blue) << x;
        EXPECT_NE(colour(x, 367), blue) << x;
    }
    EXPECT_NE(colour(77, 365), blue);
    EXPECT_NE(colour(340, 365), blue);

    // txtFrom and txtTo: grey 192 inside their frames, and no typing into them.
    for (QLineEdit* box : { editor->txtFrom, editor->txtTo }) {
        SCOPED_TRACE(box->objectName().toStdString());
        EXPECT_EQ(colour(box->x() + 3, box->y() + 3), QColor(192, 192, 192));
        EXPECT_EQ(colour(box->geometry().right() - 3, box->geometry().bottom() - 3),
            QColor(192, 192, 192));
        const QString before = box->text();
        QTest::keyClicks(box, QStringLiteral("9"));
        EXPECT_EQ(box->text(), before);
    }
    const QString line = editor->txtRAW->text();
    editor->txtRAW->setFocus();
    QTest::keyClicks(editor->txtRAW, QStringLiteral("9,"));
    QTest::keyClick(editor->txtRAW, Qt::Key_Backspace);
    EXPECT_EQ(editor->txtRAW->text(), line);

    // The tooltips of the three buttons.
    const std::pair<PictureButton*, const char*> tips[] = {
        { editor->cmdTest, "Run the above through the TAMBRIX to hear how it sounds by itself" },
        { editor->cmdSetup, "This allows you to setup how TAMBRIX will play this (repeats, etc.)" },
        { editor->cmdRangeSet,
            "Apply changes to the selected range of notes (indicated by the blue line)" },
    };
    for (const auto& [button, tip] : tips)
        EXPECT_EQ(button->toolTip(), QLatin1String(tip)) << button->text().toStdString();
}
