// The range editor's edits, driven through the real editor window: every change must reach the
// editor's columns and its RAW line.
#include "cellcheckbox.h"
#include "rangefixture.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QUndoStack>
#include <ostream>

namespace {

const QString kStartLine
    = QStringLiteral("48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55");

void chooseVolume(frmElementSettings& w, const char* volume)
{
    w.cboVolume->setCurrentIndex(w.cboVolume->findText(QString::fromLatin1(volume)));
    ASSERT_EQ(w.cboVolume->currentText(), QString::fromLatin1(volume));
}

void chooseType(frmElementSettings& w, int code)
{
    w.cboType->setCurrentIndex(w.cboType->findData(code));
    ASSERT_EQ(w.cboType->currentData().toInt(), code);
}

} // namespace

using RangeEdits = RangeFixture;

TEST_F(RangeEdits, EditorStartsWithItsDefaultPattern)
{
    // Every test below starts from here: 22 notes, range 1..22.
    EXPECT_EQ(raw(), kStartLine);
    EXPECT_EQ(editor->txtFrom->text(), QStringLiteral("1"));
    EXPECT_EQ(editor->txtTo->text(), QStringLiteral("22"));
    EXPECT_EQ(editor->fiMaxResValue, 15);
}

TEST_F(RangeEdits, FixedVolumeOverOneNoteChangesOnlyThatNote)
{
    setRange(3, 3);
    const std::vector<int> before = volumePositions();
    const std::vector<int> typesBefore = typePositions();
    auto w = open();
    chooseVolume(*w, "7");
    w->optVolume[0]->click();
    w->cmdSetVolume->click();

    std::vector<int> expected = before;
    expected[2] = 2;
    EXPECT_EQ(volumePositions(), expected);
    EXPECT_EQ(typePositions(), typesBefore);
    EXPECT_EQ(raw(),
        QStringLiteral("48X,45,47,48X,45,45,48,65,65,65,65,48,65,65,65,65,38,73,73,55,55,55"));
    // The column's tooltips follow the note.
    EXPECT_EQ(
        editor->chkFlammed(2)->toolTip(), QStringLiteral("Note # 3  -  Type 4;  Vol 7;  Voices=A"));
    EXPECT_EQ(editor->chkVoice(5, 2)->toolTip(), editor->chkFlammed(2)->toolTip());
}

TEST_F(RangeEdits, FixedVolumeOverARangeGivesEveryNoteThatVolume)
{
    setRange(17, 22);
    auto w = open();
    chooseVolume(*w, "9");
    w->optVolume[0]->click();
    w->cmdSetVolume->click();
    EXPECT_EQ(volumes(17, 22), std::vector<int>(6, 9));
    EXPECT_EQ(raw(),
        QStringLiteral("48X,45,45,48X,45,45,48,65,65,65,65,48,65,65,65,65,39,79,79,59,59,59"));
}

TEST_F(RangeEdits, NoteTypeAOverTheFirstEightNotes)
{
    setRange(1, 8);
    const std::vector<int> before = typePositions();
    const std::vector<int> volumesBefore = volumePositions();
    auto w = open();
    chooseType(*w, 10);
    w->cmdApplyNoteChanges->click();

    EXPECT_EQ(w->fiNoteType, 10);
    std::vector<int> expected = before;
    for (int i = 0; i < 8; ++i)
        expected[i] = 6; // 16 - 10
    EXPECT_EQ(typePositions(), expected);
    EXPECT_EQ(volumePositions(), volumesBefore);
    EXPECT_EQ(raw(),
        QStringLiteral("A8X,A5,A5,A8X,A5,A5,A8,A5,65,65,65,48,65,65,65,65,38,73,73,55,55,55"));
    EXPECT_EQ(editor->chkVoice(0, 7)->toolTip(),
        QStringLiteral("Note # 8  -  Type A;  Vol 5;  Voices=A"));
}

TEST_F(RangeEdits, EveryNoteTypeOfTheListReachesTheLine)
{
    setRange(2, 2);
    auto w = open();
    const QString characters = QStringLiteral("123456789ABCDEF");
    for (int code = 1; code <= 15; ++code) {
        chooseType(*w, code);
        w->cmdApplyNoteChanges->click();
        EXPECT_EQ(editor->VertRes(1)->value(), 16 - code);
        EXPECT_EQ(raw().split(u',').at(1), characters.at(code - 1) + QStringLiteral("5"));
    }
}

TEST_F(RangeEdits, RangeWhoseFromLiesAfterItsToChangesNothing)
{
    setRange(6, 2);
    const std::vector<int> types = typePositions();
    const std::vector<int> vols = volumePositions();
    auto w = open();

    chooseType(*w, 12);
    w->cmdApplyNoteChanges->click();
    w->cmdSetVolume->click(); // (de)crescendo: the divisor is negative, nothing is visited
    chooseVolume(*w, "9");
    w->optVolume[0]->click();
    w->cmdSetVolume->click();

    EXPECT_EQ(typePositions(), types);
    EXPECT_EQ(volumePositions(), vols);
    EXPECT_EQ(raw(), kStartLine);
}

// (De)crescendos: the line from the first note's volume to the last note's.
struct Crescendo {
    const char* line; // whole pattern; the range is all of it
    const char* expected;
};

void PrintTo(const Crescendo& c, std::ostream* os)
{
    *os << c.line << " -> " << c.expected;
}

class Crescendos : public RangeFixture, public ::testing::WithParamInterface<Crescendo> { };

TEST_P(Crescendos, FollowTheStraightLineBetweenTheEnds)
{
    const QString line = QString::fromLatin1(GetParam().line);
    load(line);
    setRange(1, int(line.split(u',').size()));
    const QString tipBefore = editor->chkVoice(0, 1)->toolTip(); // the second note's
    const int steps = editor->undoStack->count();
    auto w = open();
    ASSERT_TRUE(w->optVolume[1]->isChecked());
    w->cmdSetVolume->click();
    EXPECT_EQ(raw(), QString::fromLatin1(GetParam().expected));

    // One Apply is one step of the editor's history (none when it changed nothing).
    ASSERT_EQ(editor->undoStack->count() - steps, raw() == line ? 0 : 1);
    if (raw() != line) {
        editor->actUndo->trigger();
        EXPECT_EQ(raw(), line);
        EXPECT_EQ(editor->chkVoice(0, 1)->toolTip(), tipBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(RangeEdits, Crescendos,
    ::testing::Values(
        // five notes from 2 to 8 and back
        Crescendo { "42,45,45,45,48", "42,43,45,47,48" },
        Crescendo { "48,41,49,40,42", "48,47,45,43,42" },
        // 1 to 9 over nine notes: step 1 exactly
        Crescendo { "31,35,35,35,35,35,35,35,39", "31,32,33,34,35,36,37,38,39" },
        // equal ends: every note gets that volume, whatever it had
        Crescendo { "44,41,49,40X,44", "44,44,44,44X,44" },
        // two notes: both ends stay
        Crescendo { "17,13", "17,13" },
        // a half-way volume ends on the odd digit (the position rounds half to even)
        Crescendo { "12,19,13", "12,13,13" }, Crescendo { "13,10,14", "13,13,14" },
        Crescendo { "14,10,13", "14,13,13" },
        // the step is a 32-bit float (1/6 rounds up), so the fourth note lies exactly on the
        // half way 1.5 and keeps volume 1
        Crescendo { "11,15,15,15,15,15,12", "11,11,11,11,12,12,12" },
        // flam and voices stay as they are
        Crescendo { "49X>B+C,40,41>F", "49X>B+C,45,41>F" }));

TEST_F(RangeEdits, CrescendoOverOneNoteLeavesItAsItIs)
{
    setRange(4, 4);
    const std::vector<int> before = volumePositions();
    QSignalSpy changes(editor->VertVolume(3), &QScrollBar::valueChanged);
    auto w = open();
    w->cmdSetVolume->click();
    EXPECT_EQ(volumePositions(), before);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(raw(), kStartLine);
}

TEST_F(RangeEdits, ApplyVolumeRightAfterOpeningLaysACrescendo)
{
    load(QStringLiteral("42,45,45,45,48"));
    setRange(1, 5);
    auto w = open();
    w->cmdSetVolume->click(); // the preset volume 5 would make every token 45
    EXPECT_EQ(raw(), QStringLiteral("42,43,45,47,48"));
}

TEST_F(RangeEdits, EditsFollowOneAnotherInOneOpening)
{
    load(QStringLiteral("42,45,45,45,48,45"));
    setRange(2, 5);
    auto w = open();
    chooseType(*w, 3);
    w->cmdApplyNoteChanges->click();
    EXPECT_EQ(raw(), QStringLiteral("42,35,35,35,38,45"));
    w->cmdSetVolume->click(); // 5 .. 8 over four notes
    EXPECT_EQ(raw(), QStringLiteral("42,35,36,37,38,45"));
    chooseVolume(*w, "1");
    w->optVolume[0]->click();
    w->cmdSetVolume->click();
    EXPECT_EQ(raw(), QStringLiteral("42,31,31,31,31,45"));
    // The range moved in the editor meanwhile: the next edit reads it afresh.
    setRange(6, 6);
    chooseType(*w, 15);
    w->cmdApplyNoteChanges->click();
    EXPECT_EQ(raw(), QStringLiteral("42,31,31,31,31,F5"));
}

TEST_F(RangeEdits, ColumnsBeyondTheNotesInUseAreEditedButStayOutOfTheLine)
{
    // The range may reach past the notes in use (From up to the last column).
    setRange(20, 22);
    editor->HVolFrom->setValue(30);
    ASSERT_EQ(editor->txtFrom->text(), QStringLiteral("30"));
    auto w = open();
    chooseType(*w, 2);
    w->cmdApplyNoteChanges->click(); // 30 > 22: an empty range
    EXPECT_EQ(editor->VertRes(29)->value(), 15);

    editor->SetNumberOfNotes(32);
    setRange(30, 32);
    w->cmdApplyNoteChanges->click();
    EXPECT_EQ(typePositions()[29], 14);
    EXPECT_EQ(typePositions()[31], 14);
    EXPECT_EQ(raw().split(u',').mid(29), QStringList({ "21", "21", "21" }));
}

TEST_F(RangeEdits, TextsNamingMissingColumnsDoNotReachPastTheColumns)
{
    // txtFrom and txtTo are the editor's read-only copies of its scroll bars; should they ever
    // name a column that does not exist, the window touches only columns that do.
    editor->SetNumberOfNotes(32);
    setRange(30, 32);
    editor->txtTo->setText(QStringLiteral("99"));
    const std::vector<int> vols = volumePositions();
    auto w = open();
    chooseType(*w, 9);
    w->cmdApplyNoteChanges->click();
    EXPECT_EQ(typePositions()[29], 7);
    EXPECT_EQ(typePositions()[31], 7);
    EXPECT_EQ(typePositions()[28], 15);
    w->cmdSetVolume->click(); // the last note's volume cannot be read: nothing changes
    EXPECT_EQ(volumePositions(), vols);
    chooseVolume(*w, "3");
    w->optVolume[0]->click();
    w->cmdSetVolume->click();
    EXPECT_EQ(volumes(30, 32), std::vector<int>({ 3, 3, 3 }));
    EXPECT_EQ(volumes(29, 29), std::vector<int>({ 1 }));
}

TEST_F(RangeEdits, SixtyFourColumns)
{
    makeEditor(64);
    ASSERT_EQ(editor->columnCount(), 64);
    editor->SetNumberOfNotes(64);
    setRange(33, 64);
    const std::vector<int> before = typePositions();
    auto w = open();
    chooseType(*w, 15);
    w->cmdApplyNoteChanges->click();
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(typePositions()[i], i < 32 ? before[i] : 1) << "column " << i;

    // 32 notes from volume 1 (the start value) to 9: the line climbs by 8/31 a note.
    editor->VertVolume(63)->setValue(0);
    w->cmdSetVolume->click();
    const std::vector<int> got = volumes(33, 64);
    EXPECT_EQ(got,
        std::vector<int>({ 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7,
            7, 7, 8, 8, 8, 8, 9, 9 }));
    const QStringList tokens = raw().split(u',');
    ASSERT_EQ(tokens.size(), 64);
    EXPECT_EQ(tokens.at(32), QStringLiteral("F1"));
    EXPECT_EQ(tokens.at(63), QStringLiteral("F9"));
}
