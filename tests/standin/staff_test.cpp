// The sheet drawn as a drum staff: where the layout puts noteheads, lines and the sticking, the
// practice window's Staff toggle and the sticking the user sets (clicks, "Alternate from here",
// Save As, the memory per RAW line), and TAMBRIX.EXE --sheet writing PDF and SVG.
#include "practicewindow.h"
#include "sheetpanel.h"
#include "stafflayout.h"
#include "staffview.h"
#include "sticking.h"
#include "stickingrow.h"
#include "tempdir.h"

#include <QAbstractButton>
#include <QProcess>
#include <QScrollBar>
#include <QSettings>
#include <QStackedWidget>
#include <QTest>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

using standin::SectionKind;
namespace staff = standin::staff;

const std::string kVoices = "SET TRACKVOICES(1)=38,36,42,49,44,56";

standin::sheet::Sheet sheetOf(const std::string& text)
{
    standin::Script script;
    standin::sheet::Sheet sheet;
    std::string error;
    EXPECT_TRUE(standin::parseScript(text, script, error)) << error;
    EXPECT_TRUE(standin::sheet::buildSheet(script, false, sheet, error)) << error;
    return sheet;
}

std::string scriptText(const std::string& header, const std::string& pattern)
{
    return header + "\r\nRAW [new-rud]=" + pattern + "\r\n[new-rud]\r\n";
}

TEST(Staff, PlacesEachDrumOnItsStepAndTheNotesInTimeOrder)
{
    // Snare, bass drum, hi-hat, crash, pedal hi-hat, and a key without a place (the middle line).
    const int steps[] = { 5, 1, 9, 10, -1, 4 };
    const staff::StaffLayout layout
        = staff::layoutStaff(sheetOf(scriptText(kVoices, "25>A,25>B,25>C,25>D,25>E,25>F")), 1000);
    ASSERT_EQ(layout.systems.size(), 1u);
    ASSERT_EQ(layout.notes.size(), 6u);
    const staff::System& line = layout.systems[0];
    for (int note = 0; note < 6; ++note) {
        const staff::NoteSpot& spot = layout.notes[std::size_t(note)];
        EXPECT_EQ(spot.note, note);
        EXPECT_EQ(spot.start, 60LL * note);
        if (note > 0) {
            EXPECT_GT(spot.x, layout.notes[std::size_t(note - 1)].x);
        }
        int heads = 0;
        for (const staff::Items::Head& head : line.items.heads) {
            if (head.owner != staff::ownerOf(0, note))
                continue;
            ++heads;
            EXPECT_DOUBLE_EQ(head.at.y(), line.staffTop + (8 - steps[note]) * layout.space / 2)
                << "note " << note;
            EXPECT_DOUBLE_EQ(head.at.x(), spot.x);
        }
        EXPECT_EQ(heads, 1) << "note " << note;
        // The playhead at the note's start stands on it; the note sounds until the next.
        int system = -1;
        EXPECT_DOUBLE_EQ(layout.xAt(0, double(spot.start), system), spot.x);
        EXPECT_EQ(system, 0);
        ASSERT_NE(layout.noteAt(0, double(spot.start) + 59), nullptr);
        EXPECT_EQ(layout.noteAt(0, double(spot.start) + 59)->note, note);
    }
    EXPECT_FALSE(layout.legend.texts.empty()); // key 56 is named under the staff
}

TEST(Staff, WrapsLinesToTheWidthAndPutsTheStickingUnderTheNotes)
{
    // Four bars of 16th notes, the sticking given for the first four.
    std::string pattern;
    for (int i = 0; i < 64; ++i)
        pattern += std::string(i ? "," : "") + "45>A";
    const standin::sheet::Sheet sheet
        = sheetOf("' STICKING [new-rud]=R,L,RL,\r\n" + scriptText(kVoices, pattern));
    std::size_t before = 100;
    for (const double width : { 400.0, 1000.0, 2400.0 }) {
        const staff::StaffLayout layout = staff::layoutStaff(sheet, width);
        EXPECT_LE(layout.systems.size(), before) << width;
        before = layout.systems.size();
        int measures = 0;
        for (std::size_t s = 0; s < layout.systems.size(); ++s) {
            const staff::System& line = layout.systems[s];
            EXPECT_LE(line.right, width) << width;
            EXPECT_EQ(line.firstMeasure, measures);
            measures += line.measureCount;
            if (s > 0) {
                EXPECT_GE(line.top, layout.systems[s - 1].bottom);
            }
            EXPECT_GT(line.stickingY, line.staffTop + 4 * layout.space);
        }
        EXPECT_EQ(measures, 4);
        // The sticking under its notes; a click there finds the note, one over the staff none.
        const char* const hands[] = { "R", "L", "RL", "" };
        for (int note = 0; note < 4; ++note) {
            const staff::NoteSpot& spot = layout.notes[std::size_t(note)];
            EXPECT_EQ(spot.sticking.toStdString(), hands[note]);
            const QPointF under(spot.x + 2, layout.systems[0].stickingY);
            ASSERT_NE(layout.stickingAt(under), nullptr);
            EXPECT_EQ(layout.stickingAt(under)->note, note);
        }
        EXPECT_EQ(
            layout.stickingAt(QPointF(layout.notes[0].x, layout.systems[0].staffTop)), nullptr);
    }
    EXPECT_GT(staff::layoutStaff(sheet, 400).systems.size(), before);
}

TEST(Sticking, ClicksCycleTheHandsAndAlternateFillsOnward)
{
    const std::pair<std::string, std::string> cycle[]
        = { { "", "R" }, { "R", "L" }, { "L", "RL" }, { "RL", "" } };
    for (const auto& [hands, next] : cycle)
        EXPECT_EQ(standin::nextHand(hands), next) << hands;

    standin::Script script;
    std::string error;
    ASSERT_TRUE(standin::parseScript(scriptText("", "15,15,10,15,15,15"), script, error)) << error;
    const struct {
        std::vector<std::string> given;
        int from;
        std::vector<std::string> filled;
    } rows[] = {
        { {}, 0, { "R", "L", "", "R", "L", "R" } },
        { { "RL", "R", "R" }, 1, { "RL", "R", "", "L", "R", "L" } },
        { { "R", "L" }, 1, { "R", "L", "", "R", "L", "R" } }, // from the L it has
        { {}, 2, { "", "", "", "R", "L", "R" } }, // from a rest: the next note R
    };
    for (const auto& row : rows) {
        std::vector<std::string> hands = row.given;
        standin::alternateFrom(hands, script.notes, row.from);
        EXPECT_EQ(hands, row.filled) << row.from;
    }
}

TEST(Sticking, SaveAsWritesTheCommentLineAndKeepsEverythingElse)
{
    const std::string plain = "SET TEMPO=90\r\nRAW [Fill]=15,15\r\nRAW [new-rud]=15,15,15\r\n"
                              "SET INTRO=fill\r\n[new-rud]\r\n";
    const std::string given = "' STICKING [new-rud]=L\r\n" + plain;
    const struct {
        std::string bytes;
        std::vector<standin::Sticking> set;
        std::string written;
    } rows[] = {
        { plain, { { "[new-rud]", 0, { "R", "", "L", "" } } },
            "SET TEMPO=90\r\nRAW [Fill]=15,15\r\nRAW [new-rud]=15,15,15\r\n"
            "' STICKING [new-rud]=R,,L\r\nSET INTRO=fill\r\n[new-rud]\r\n" },
        { given, { { "[new-rud]", 0, { "L" } } }, given }, // unchanged: byte for byte
        { given, { { "[new-rud]", 0, {} } }, plain }, // none: the line goes
        { plain, { { "[fill]", 0, { "RL" } } }, // the name as its RAW line spells it
            "SET TEMPO=90\r\nRAW [Fill]=15,15\r\n' STICKING [Fill]=RL\r\nRAW [new-rud]=15,15,15\r\n"
            "SET INTRO=fill\r\n[new-rud]\r\n" },
        { "RAW [new-rud]=15\n[new-rud]", { { "[new-rud]", 0, { "R" } } },
            "RAW [new-rud]=15\n' STICKING [new-rud]=R\n[new-rud]" }, // its own line ends
    };
    for (const auto& row : rows) {
        standin::Script script;
        std::string error;
        ASSERT_TRUE(standin::parseScript(row.bytes, script, error)) << error;
        const std::string written = standin::withStickings(row.bytes, script, row.set);
        EXPECT_EQ(written, row.written);
        standin::Script back;
        EXPECT_TRUE(standin::parseScript(written, back, error)) << error;
        EXPECT_EQ(back.definition, script.definition);
    }
}

TEST(Sticking, MemoryKeepsTheLast200RawLines)
{
    TempFolder temp;
    QSettings settings(temp.file("memory.ini"), QSettings::IniFormat);
    standin::StickingMemory memory(settings);
    auto raw = [](int i) { return QStringLiteral("RAW [new-rud]=15,%1").arg(i); };
    for (int i = 0; i <= standin::kRememberedLines; ++i)
        memory.remember(raw(i), { "R", i % 2 ? "L" : "RL" });
    memory.remember(raw(1), { "L", "", "" }); // again: the newest, its trailing empties dropped
    const struct {
        int line;
        std::vector<std::string> hands;
    } rows[] = { { 0, {} }, { 1, { "L" } }, { 2, { "R", "RL" } }, { 3, { "R", "L" } },
        { standin::kRememberedLines, { "R", "RL" } } };
    // 201 lines given: the oldest but the one given again are forgotten.
    for (const auto& row : rows)
        EXPECT_EQ(memory.recall(raw(row.line)), row.hands) << row.line;
    memory.remember(raw(2), {});
    EXPECT_TRUE(memory.recall(raw(2)).empty());
}

struct StaffWindow : ::testing::Test {
    TempFolder temp;
    standin::Transport transport;
    std::unique_ptr<QSettings> settings;

    void SetUp() override
    {
        qputenv("XDG_RUNTIME_DIR", temp.path().toLocal8Bit());
        std::string error;
        ASSERT_EQ(transport.start("", "file", error), 0) << error;
        settings = std::make_unique<QSettings>(temp.file("practice.ini"), QSettings::IniFormat);
    }
    void TearDown() override { transport.stop(); }
    QString script(const QString& name, const QByteArray& bytes)
    {
        TempFolder::write(temp.file(name), bytes);
        return temp.file(name);
    }
};

TEST_F(StaffWindow, RemembersTheStaffToggle)
{
    const QString one = script("one.drum", "RAW [new-rud]=45,45\r\n[new-rud]\r\n");
    for (const bool staffShown : { false, true, false }) { // as the window before left it
        standin::PracticeWindow window(transport, *settings, temp.path());
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_TRUE(window.load(one, false, 0));
        auto* stack = window.findChild<QStackedWidget*>();
        auto* view = window.findChild<standin::StaffView*>();
        ASSERT_TRUE(stack && view);
        EXPECT_EQ(stack->currentWidget() == view, staffShown);
        QTest::keyClick(&window, Qt::Key_N);
        EXPECT_EQ(stack->currentWidget() == view, !staffShown);
        EXPECT_EQ(window.findChild<QAbstractButton*>("staffButton")->isChecked(), !staffShown);
        window.close();
    }
}

TEST_F(StaffWindow, StickingSetByClicksIsSavedAndComesBackWithItsRawLine)
{
    const QByteArray bytes = "SET TEMPO=90\r\nRAW [new-rud]=45,45,40,45\r\n[new-rud]\r\n";
    const QString first = script("first.drum", bytes);
    const QString test = script("test.drum", bytes); // a TEST hands over the same line again
    const QString other = script("other.drum", "RAW [new-rud]=45,45,40,47\r\n[new-rud]\r\n");
    standin::PracticeWindow window(transport, *settings, temp.path());
    window.resize(1000, 360);
    window.show();
    ASSERT_TRUE(window.load(first, false, 0));
    auto* view = window.findChild<standin::StaffView*>();
    auto* row = window.findChild<standin::StickingRow*>();
    auto* panel = window.findChild<standin::SheetPanel*>();
    ASSERT_TRUE(view && row && panel);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_N);

    // Clicks in the staff's sticking row under note 2, and in the grid's row under note 4.
    auto clickStaff = [&](int note) {
        const staff::StaffLayout& layout = view->staffLayout();
        const staff::NoteSpot* spot = nullptr;
        for (const staff::NoteSpot& n : layout.notes)
            if (n.note == note)
                spot = &n;
        ASSERT_NE(spot, nullptr);
        const double y = layout.systems[std::size_t(spot->system)].stickingY
            - view->verticalScrollBar()->value();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPointF(spot->x, y).toPoint());
    };
    const std::vector<std::string> afterClicks[] = { { "", "R" }, { "", "L" }, { "", "RL" }, {} };
    for (const auto& expected : afterClicks) {
        clickStaff(1);
        EXPECT_EQ(panel->hands(SectionKind::Pattern), expected);
    }
    panel->alternate(SectionKind::Pattern, 0);
    EXPECT_EQ(panel->hands(SectionKind::Pattern), (std::vector<std::string> { "R", "L", "", "R" }));
    QTest::keyClick(&window, Qt::Key_N);
    SectionKind kind = SectionKind::Intro;
    int note = -1, x = 0;
    while (x < row->width() && !(row->noteAt(x, kind, note) && note == 3))
        ++x;
    ASSERT_EQ(kind, SectionKind::Pattern);
    QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(x + 2, row->height() / 2));
    const std::vector<std::string> set { "R", "L", "", "L" };
    EXPECT_EQ(panel->hands(SectionKind::Pattern), set);

    // Save As writes it; Copy RAW line and the script's own bytes stay as they were.
    ASSERT_TRUE(window.saveAs(temp.file("kept.drum")));
    EXPECT_EQ(window.rawLine().toStdString(), "RAW [new-rud]=45,45,40,45");
    EXPECT_EQ(window.scriptBytes(), bytes.toStdString());
    standin::Script kept;
    std::string error;
    ASSERT_TRUE(
        standin::parseScript(TempFolder::read(temp.file("kept.drum")).toStdString(), kept, error))
        << error;
    ASSERT_NE(standin::findSticking(kept, "[new-rud]"), nullptr);
    EXPECT_EQ(standin::findSticking(kept, "[new-rud]")->hands, set);

    // The same RAW line again, without a sticking: the one set comes back; another line has none.
    const struct {
        QString script;
        std::vector<std::string> hands;
    } rows[] = { { other, {} }, { test, set } };
    for (const auto& r : rows) {
        ASSERT_TRUE(window.load(r.script, false, 0));
        EXPECT_EQ(panel->hands(SectionKind::Pattern), r.hands) << r.script.toStdString();
        for (const staff::NoteSpot& spot : view->staffLayout().notes) // the staff shows it
            EXPECT_EQ(spot.sticking.toStdString(),
                r.hands.empty() ? "" : r.hands.at(std::size_t(spot.note)));
    }
}

TEST(StaffFiles, TambrixWritesPdfAndSvgWithoutADisplay)
{
    TempFolder temp;
    const QString script = temp.file("groove.drum");
    TempFolder::write(script,
        "' STICKING [new-rud]=R,L\r\nSET TIMESIG=3/4\r\nRAW [new-rud]=18X,15>B,35,15\r\n"
        "[new-rud]\r\n");
    QDir().mkpath(temp.file("folder.pdf"));
    const struct {
        QString target;
        int exitCode;
        QByteArray start; // of the file written
        QString message; // on stderr when it fails
    } rows[] = {
        { temp.file("groove.pdf"), 0, "%PDF-", {} },
        { temp.file("groove.svg"), 0, "<?xml", {} },
        { temp.file("folder.pdf"), 7, {}, "TAMBRIX.EXE: cannot write " + temp.file("folder.pdf") },
        { temp.file("none/x.svg"), 7, {},
            "TAMBRIX.EXE: cannot write " + temp.file("none/x.svg") + ": the folder" },
    };
    for (const auto& row : rows) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), temp.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TAMBRIX_EXE), { "--sheet", row.target, script });
        ASSERT_TRUE(process.waitForFinished(10000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        EXPECT_EQ(process.exitCode(), row.exitCode) << err.toStdString();
        if (row.exitCode != 0) {
            EXPECT_TRUE(err.startsWith(row.message) && err.count(u'\n') == 1) << err.toStdString();
            continue;
        }
        EXPECT_TRUE(err.isEmpty()) << err.toStdString();
        const QByteArray bytes = TempFolder::read(row.target);
        EXPECT_TRUE(bytes.startsWith(row.start)) << row.target.toStdString();
        if (!row.target.endsWith(QStringLiteral(".svg")))
            continue;
        QXmlStreamReader xml(bytes);
        QString title;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement
                && xml.name() == QStringLiteral("title"))
                title = xml.readElementText();
        }
        EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
        EXPECT_EQ(title.toStdString(), "new-rud");
    }
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files).size(), 3); // nothing left beside them
}

} // namespace
