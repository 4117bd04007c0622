#include "editorfixture.h"

#include <QSignalSpy>
#include <functional>

namespace {

QString describe(int i, const char* token)
{
    const notation::TokenReading reading
        = notation::analyzeToken(QString::fromLatin1(token).toStdU16String());
    return QString::fromStdU16String(notation::describeNote(i, notation::tokenParts(reading.note)));
}

} // namespace

TEST_F(EditorTest, EachControlOfAColumnRewritesOnlyThatNotesToken)
{
    // Column 5 holds 45: type 4 (position 12), volume 5 (position 4), voice A alone.
    struct Case {
        const char* what;
        std::function<void(frmRudimix&)> edit;
        const char* token;
    };
    const Case cases[] = {
        { "click flam", [](frmRudimix& e) { QTest::mouseClick(e.chkFlammed(5), Qt::LeftButton); },
            "45X" },
        { "click voice C",
            [](frmRudimix& e) { QTest::mouseClick(e.chkVoice(2, 5), Qt::LeftButton); }, "45>A+C" },
        { "click voice F",
            [](frmRudimix& e) { QTest::mouseClick(e.chkVoice(5, 5), Qt::LeftButton); }, "45>A+F" },
        { "clear voice A",
            [](frmRudimix& e) { QTest::mouseClick(e.chkVoice(0, 5), Qt::LeftButton); }, "40" },
        { "space on voice B",
            [](frmRudimix& e) {
                e.chkVoice(1, 5)->setFocus();
                QTest::keyClick(e.chkVoice(1, 5), Qt::Key_Space);
            },
            "45>A+B" },
        { "volume up arrow",
            [](frmRudimix& e) { clickPart(e.VertVolume(5), QStyle::SC_ScrollBarSubLine); }, "46" },
        { "volume down arrow",
            [](frmRudimix& e) { clickPart(e.VertVolume(5), QStyle::SC_ScrollBarAddLine); }, "44" },
        { "volume track below the thumb",
            [](frmRudimix& e) { clickPart(e.VertVolume(5), QStyle::SC_ScrollBarAddPage); }, "44" },
        { "type up arrow",
            [](frmRudimix& e) { clickPart(e.VertRes(5), QStyle::SC_ScrollBarSubLine); }, "55" },
        { "type down arrow",
            [](frmRudimix& e) { clickPart(e.VertRes(5), QStyle::SC_ScrollBarAddLine); }, "35" },
        { "type track above the thumb",
            [](frmRudimix& e) { clickPart(e.VertRes(5), QStyle::SC_ScrollBarSubPage); }, "55" },
        { "type set from code", [](frmRudimix& e) { e.VertRes(5)->setValue(1); }, "F5" },
        { "volume set from code", [](frmRudimix& e) { e.VertVolume(5)->setValue(0); }, "49" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        load(32, true);
        QSignalSpy changes(editor->txtRAW, &QLineEdit::textChanged);
        c.edit(*editor);
        EXPECT_EQ(changes.count(), 1);
        QStringList expected = QString::fromLatin1(kStartLine).split(QLatin1Char(','));
        expected[5] = QLatin1String(c.token);
        EXPECT_EQ(tokens(), expected);
        const QString description = describe(5, c.token);
        EXPECT_EQ(editor->chkFlammed(5)->toolTip(), description);
        for (int letter = 0; letter < 6; ++letter)
            EXPECT_EQ(editor->chkVoice(letter, 5)->toolTip(), description);
        EXPECT_EQ(editor->chkFlammed(4)->toolTip(), describe(4, "45"));
        EXPECT_TRUE(editor->VertRes(5)->toolTip().isEmpty());
    }
}

TEST_F(EditorTest, ADescriptionShowsFlamAndAllVoices)
{
    load(32, true);
    QTest::mouseClick(editor->chkVoice(2, 0), Qt::LeftButton);
    EXPECT_EQ(tokens()[0], QStringLiteral("48X>A+C"));
    EXPECT_EQ(editor->chkVoice(0, 0)->toolTip(),
        QStringLiteral("Note # 1  -  Type 4;  Vol 8;  Flammed;  Voices=>A+C"));
}

TEST_F(EditorTest, ADisabledColumnTakesNoInput)
{
    load(32, true);
    QTest::mouseClick(editor->chkVoice(1, 25), Qt::LeftButton);
    clickPart(editor->VertRes(25), QStyle::SC_ScrollBarSubLine);
    EXPECT_EQ(line(), QLatin1String(kStartLine));
    EXPECT_EQ(note(25), (notation::Note { 1, 1, false, 1 }));
}

TEST_F(EditorTest, DraggingATypeThumbChangesTheLineOnceWhenLetGo)
{
    load(32, true);
    QScrollBar* bar = editor->VertRes(5);
    const QRect thumb = part(bar, QStyle::SC_ScrollBarSlider);
    const QRect groove = part(bar, QStyle::SC_ScrollBarGroove);
    QSignalSpy changes(editor->txtRAW, &QLineEdit::textChanged);

    QTest::mousePress(bar, Qt::LeftButton, {}, thumb.center());
    for (int y = thumb.center().y(); y <= groove.bottom(); y += 3)
        dragTo(bar, QPoint(thumb.center().x(), y));
    EXPECT_EQ(changes.count(), 0) << "the line followed the thumb while it was dragged";
    EXPECT_EQ(bar->value(), 12);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(thumb.center().x(), groove.bottom()));

    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(bar->value(), 15);
    EXPECT_EQ(tokens()[5], QStringLiteral("15"));
}

TEST_F(EditorTest, TheReaderSilencesTheColumnEvents)
{
    load();
    QSignalSpy changes(editor->txtRAW, &QLineEdit::textChanged);
    editor->ReadRawText(QStringLiteral("19x>f,a0>b+c"));
    // One change only, the reader's own: the line as given, not rebuilt from the columns.
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(line(), QStringLiteral("19x>f,a0>b+c"));
    EXPECT_EQ(note(0), (notation::Note { 1, 9, true, 32 }));
    EXPECT_EQ(note(1), (notation::Note { 10, 0, false, 6 }));
    EXPECT_EQ(editor->fiNumNotes, 2);
    // Descriptions stay until the next rebuild.
    EXPECT_EQ(editor->chkFlammed(0)->toolTip(), describe(0, "48X"));
    // The columns are not enabled or disabled by the reader.
    EXPECT_EQ(enabledColumns(), 22);
}

TEST_F(EditorTest, TheWriterRebuildsTheWholeLineWhenItHoldsTooFewPieces)
{
    load();
    editor->txtRAW->setText(QStringLiteral("48X,45"));
    editor->UpdateRAWtext(5);
    EXPECT_EQ(line(), QLatin1String(kStartLine));

    editor->fbReadingRaw = true;
    editor->txtRAW->setText(QStringLiteral("x"));
    editor->UpdateRAWtext(-1);
    editor->UpdateRAWtext(3);
    EXPECT_EQ(line(), QStringLiteral("x"));
    editor->fbReadingRaw = false;
}

TEST_F(EditorTest, BadTokensAreRefusedOneMessageEachAndKeepTheirColumns)
{
    load();
    editor->ReadRawText(QStringLiteral("58,45>Q,0,F7>B+Q,19X"));
    ASSERT_EQ(fakes.dialogs.boxes.size(), 3u);
    const char* texts[] = { "Voice Character is invalid", "Note Type Character is invalid",
        "Voice Character is invalid" };
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(fakes.dialogs.boxes[k].text, QLatin1String(texts[k]));
        EXPECT_EQ(fakes.dialogs.boxes[k].title, QStringLiteral("Invalid Raw String"));
        EXPECT_EQ(fakes.dialogs.boxes[k].icon, MsgIcon::Error);
    }
    EXPECT_EQ(editor->fiNumNotes, 5);
    EXPECT_EQ(line(), QStringLiteral("58,45>Q,0,F7>B+Q,19X"));
    EXPECT_EQ(note(0), (notation::Note { 5, 8, false, 1 }));
    EXPECT_EQ(note(1), (notation::Note { 4, 5, false, 1 })); // kept: 45
    EXPECT_EQ(note(2), (notation::Note { 4, 5, false, 1 })); // kept: 45
    EXPECT_EQ(note(3), (notation::Note { 4, 8, true, 1 })); // kept: 48X
    EXPECT_EQ(note(4), (notation::Note { 1, 9, true, 1 }));
    // The messages did not leave the reader busy: the next edit patches its own token only.
    EXPECT_FALSE(editor->fbReadingRaw);
    editor->VertVolume(0)->setValue(0);
    EXPECT_EQ(line(), QStringLiteral("59,45>Q,0,F7>B+Q,19X"));

    // A voice fault is reported before a type fault.
    std::int16_t res = 0, vol = 0, voices = 0;
    bool flammed = false;
    EXPECT_FALSE(editor->AnalyzeSub(QStringLiteral("Z8>A+G"), res, vol, flammed, voices));
    EXPECT_EQ(fakes.dialogs.boxes.back().text, QStringLiteral("Voice Character is invalid"));
    EXPECT_TRUE(editor->AnalyzeSub(QStringLiteral("c3x>c+a"), res, vol, flammed, voices));
    EXPECT_EQ(res, 12);
    EXPECT_EQ(vol, 3);
    EXPECT_TRUE(flammed);
    EXPECT_EQ(voices, 5);
}

TEST_F(EditorTest, ALineOfMoreThan32TokensIsRefusedWhole)
{
    load(64);
    const QString tooLong = QStringLiteral("19")
                                .repeated(33)
                                .replace(QStringLiteral("9"), QStringLiteral("9,"))
                                .chopped(1);
    ASSERT_EQ(tooLong.count(QLatin1Char(',')), 32);
    editor->ReadRawText(tooLong);
    ASSERT_EQ(fakes.dialogs.boxes.size(), 1u);
    EXPECT_EQ(fakes.dialogs.boxes[0].text,
        QStringLiteral("Too many notes in this RAW text.\n\nI can only handle a maximum of 32"));
    EXPECT_EQ(fakes.dialogs.boxes[0].title, QStringLiteral("Too many notes!"));
    EXPECT_EQ(fakes.dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(editor->fiNumNotes, 22);
    EXPECT_FALSE(editor->fbReadingRaw);
    EXPECT_EQ(line(), QLatin1String(kStartLine));
    EXPECT_EQ(note(0), (notation::Note { 4, 8, true, 1 }));
}
