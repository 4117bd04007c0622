// The practice window: key names, the grid's layout, the schedule's event times (loop,
// transition, TEMPOCHANGE, a tempo change mid-way), and the window taking a handed-over script.
#include "displayprobe.h"
#include "gmnames.h"
#include "handover.h"
#include "patterngrid.h"
#include "practicewindow.h"
#include "tempdir.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace {

using standin::SectionKind;

standin::Script script(const std::string& header, const std::string& pattern)
{
    standin::Script s;
    std::string error;
    EXPECT_TRUE(standin::parseScript(
        header + "\r\nRAW [new-rud]=" + pattern + "\r\n[new-rud]\r\n", s, error))
        << error;
    return s;
}

// Note-ons as "key@ms", rounded to the millisecond.
std::string noteOns(const std::vector<standin::MidiEvent>& events)
{
    std::string text;
    for (const standin::MidiEvent& e : events)
        if (e.type == standin::MidiEvent::Type::NoteOn)
            text += std::to_string(e.key) + "@" + std::to_string(std::lround(e.seconds * 1000))
                + " ";
    return text;
}

TEST(Practice, KeyNames)
{
    const std::pair<int, const char*> rows[] = { { 35, "Acoustic Bass Drum" },
        { 40, "Electric Snare" }, { 42, "Closed Hi-Hat" }, { 46, "Open Hi-Hat" },
        { 81, "Open Triangle" }, { 34, "Key 34" }, { 82, "Key 82" }, { 0, "Key 0" } };
    for (const auto& [key, name] : rows)
        EXPECT_EQ(standin::percussionName(key).toStdString(), name) << key;
}

TEST(Practice, ADisplayThatDoesNotAnswerIsNone)
{
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    qputenv("DISPLAY", ":987");
    qputenv("WAYLAND_DISPLAY", "no-such-wayland-socket");
    EXPECT_FALSE(standin::displayReachable()); // the host then plays in the console
    qputenv("DISPLAY", display);
    qputenv("WAYLAND_DISPLAY", wayland);
}

TEST(Practice, LayoutFollowsTicksAndTimeSignature)
{
    // Every note type: 1 to 9 fixed, A to F from ATICKS to FTICKS.
    const std::string ticks = "SET ATICKS=7;SET BTICKS=11;SET CTICKS=13;SET DTICKS=17;"
                              "SET ETICKS=19;SET FTICKS=23";
    const int lengths[] = { 120, 60, 40, 30, 20, 15, 10, 24, 18, 7, 11, 13, 17, 19, 23 };
    const struct {
        const char* timesig;
        bool noTimeSignature;
        long long padded; // the section's ticks
        int beat;
        int barEvery;
    } rows[] = { { "3/4", false, 720, 120, 3 }, { "4/4", false, 480, 120, 4 },
        { "7/8", false, 840, 60, 7 }, { "7/8", true, 427, 120, 4 } };
    for (const auto& row : rows) {
        standin::PracticeSchedule schedule;
        std::string error;
        ASSERT_TRUE(schedule.load(script(ticks + ";SET TIMESIG=" + row.timesig,
                                      "15,25,35,45,55,65,75,85,95,A5,B5,C5,D5,E5,F5"),
            row.noTimeSignature, error))
            << error;
        const standin::GridLayout layout = standin::layoutGrid(schedule, 1000, 300);
        ASSERT_EQ(layout.sections.size(), 1u);
        const auto& section = layout.sections[0];
        EXPECT_EQ(section.ticks, row.padded) << row.timesig;
        long long start = 0;
        for (std::size_t i = 0; i < 15; ++i) {
            EXPECT_EQ(section.noteStarts[i], start) << row.timesig << " note " << i + 1;
            start += lengths[i];
        }
        EXPECT_NEAR(layout.pixelsPerTick,
            (1000.0 - standin::kNameColumn - standin::kSectionGap) / double(row.padded), 1e-9);
        EXPECT_NEAR(layout.x(section, 427), section.left + 427 * layout.pixelsPerTick, 1e-9);
        ASSERT_EQ(section.lines.size(), std::size_t(row.padded / row.beat + 1)) << row.timesig;
        for (std::size_t i = 0; i < section.lines.size(); ++i) {
            EXPECT_EQ(section.lines[i], (long long)(i)*row.beat);
            EXPECT_EQ(section.barLine[i], i % std::size_t(row.barEvery) == 0) << i;
        }
    }
}

TEST(Practice, LoopPlaysTransitionsAndTempoChangesPerLoop)
{
    const struct {
        int tempoChange;
        int tempos[3]; // of the first three loops, within 10 to 1000
    } rows[] = { { 20, { 100, 120, 140 } }, { -60, { 100, 40, 10 } }, { 600, { 100, 700, 1000 } } };
    for (const auto& row : rows) {
        standin::PracticeSchedule schedule;
        std::string error;
        ASSERT_TRUE(schedule.load(script("SET TEMPOCHANGE=" + std::to_string(row.tempoChange)
                                          + ";SET TRANSITION=fill;SET REPEATS=1\r\nRAW [fill]=15>B",
                                      "15,15"),
            false, error));
        schedule.setLoop(true);
        EXPECT_EQ(standin::layoutGrid(schedule, 800, 200).sections.back().label.toStdString(),
            "Transition [fill]");
        // Repeat r: two quarter notes of key 40; the transition after it, at its tempo: key 35.
        std::string expected;
        double at = standin::kLeadInSeconds;
        for (int r = 0; r < 3; ++r) {
            const double quarter = 60.0 / row.tempos[r];
            for (int note = 0; note < 3; ++note, at += quarter)
                expected
                    += (note < 2 ? "40@" : "35@") + std::to_string(std::lround(at * 1000)) + " ";
        }
        const std::string played = noteOns(schedule.take(at - 0.001));
        EXPECT_EQ(played, expected) << row.tempoChange;
        EXPECT_FALSE(schedule.finished());
    }
}

TEST(Practice, TempoChangeTakesEffectFromTheNextNote)
{
    standin::PracticeSchedule schedule;
    std::string error;
    ASSERT_TRUE(
        schedule.load(script("SET TEMPO=60;SET REPEATS=2;SET TRACKINSTRUMENT(1)=25", "15,15,15,15"),
            false, error));
    const std::vector<standin::MidiEvent> begun = schedule.take(1.2);
    EXPECT_EQ(noteOns(begun), "40@50 40@1050 ");
    ASSERT_FALSE(begun.empty()); // the drum kit first
    EXPECT_EQ(begun[0].type, standin::MidiEvent::Type::ProgramChange);
    EXPECT_EQ(begun[0].key, 25);
    schedule.setTempo(120); // notes 3 and 4 at 0.5 s, then the second repeat at 120
    EXPECT_EQ(noteOns(schedule.take(100)), "40@2050 40@2550 40@3050 40@3550 40@4050 40@4550 ");
    EXPECT_TRUE(schedule.finished());
    EXPECT_NEAR(schedule.endSeconds(), 5.05, 1e-9);
    const standin::PracticeSchedule::Position position = schedule.locate(2.3);
    EXPECT_TRUE(position.inside);
    EXPECT_EQ(position.tempo, 120);
    EXPECT_NEAR(position.tick, 300, 1e-6);
    EXPECT_EQ(schedule.locate(4.3).repeat, 1);
}

TEST(Practice, WindowTakesHandedOverScriptsKeepsTheLastGoodOneAndSavesItsBytes)
{
    TempFolder temp;
    qputenv("XDG_RUNTIME_DIR", temp.path().toLocal8Bit());
    standin::Transport transport;
    std::string error;
    ASSERT_EQ(transport.start("", "file", error), 0) << error;
    QSettings settings(temp.file("practice.ini"), QSettings::IniFormat);
    standin::PracticeWindow window(transport, settings, temp.path());
    standin::HandoverServer server;
    QString why;
    const QString socket = temp.file("handover.socket");
    ASSERT_TRUE(server.listen(socket, why)) << why.toStdString();
    QObject::connect(
        &server, &standin::HandoverServer::received, &window, &standin::PracticeWindow::take);

    const QByteArray first
        = "SET TEMPO=90;SET PLAYBEAT=YES\r\nRAW [new-rud]=48X>A+C,2\r\n[new-rud]\r\n";
    const QByteArray second = "'two\r\nRAW [new-rud]=16>B,15>F\r\n[new-rud]\r\n";
    TempFolder::write(temp.file("one.drum"), first);
    TempFolder::write(temp.file("two.drum"), second);
    TempFolder::write(temp.file("bad.drum"), "RAW [new-rud]=ZZ\r\n[new-rud]\r\n");
    window.show();
    ASSERT_TRUE(window.load(temp.file("one.drum"), true, 0));
    EXPECT_TRUE(transport.playing());
    EXPECT_TRUE(window.findChild<QAbstractButton*>("clickButton")->isChecked()); // as PLAYBEAT says
    EXPECT_EQ(window.rawLine().toStdString(), "RAW [new-rud]=48X>A+C,20");

    for (const char* name : { "two.drum", "bad.drum" }) {
        std::atomic<bool> done { false };
        std::atomic<bool> delivered { false };
        std::thread client([&] {
            delivered = standin::handOver(socket, { temp.file(name), false, 0 });
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
        client.join();
        EXPECT_TRUE(delivered) << name;
        // Its first note made (the status line says so) before the next script comes.
        EXPECT_TRUE(std::string(name) == "bad.drum"
            || QTest::qWaitFor(
                [&] { return window.statusText().contains(QStringLiteral("first note made")); },
                10000));
    }
    EXPECT_EQ(window.windowTitle().toStdString(), "two.drum - Tambrix stand-in");
    EXPECT_NE(window.statusText().indexOf(QStringLiteral("bad.drum: line 1")), -1)
        << window.statusText().toStdString();
    EXPECT_EQ(window.findChild<QWidget*>("patternGrid")->accessibleDescription().toStdString(),
        "Pattern [new-rud], 2 notes: Note 1: Acoustic Bass Drum, volume 6; "
        "Note 2: Low Tom, volume 5");
    ASSERT_TRUE(window.saveAs(temp.file("kept.drum")));
    EXPECT_EQ(TempFolder::read(temp.file("kept.drum")), second);
    transport.stop();
}

// Save As, through its dialog and its checks: a name typed without ".drum" that names an existing
// script is asked about; a FIFO and a read-only file (one over 64 MiB too) are never replaced.
TEST(Practice, SaveAsAsksBeforeReplacingAndReplacesOnlyWritableFiles)
{
    TempFolder temp;
    qputenv("XDG_RUNTIME_DIR", temp.path().toLocal8Bit());
    standin::Transport transport;
    std::string error;
    ASSERT_EQ(transport.start("", "file", error), 0) << error;
    QSettings settings(temp.file("practice.ini"), QSettings::IniFormat);
    standin::PracticeWindow window(transport, settings, temp.path());
    const QByteArray script = "RAW [new-rud]=48X\r\n[new-rud]\r\n";
    TempFolder::write(temp.file("one.drum"), script);
    ASSERT_TRUE(window.load(temp.file("one.drum"), false, 0));
    transport.stop();
    const QByteArray victim(64, 'v');
    enum class Target { Typed, Fifo, ReadOnlyLarge };
    const struct {
        const char* name;
        Target target;
        QMessageBox::StandardButton answer; // to the question, if one comes
        bool replaced;
    } rows[] = { { "typed without .drum, kept", Target::Typed, QMessageBox::No, false },
        { "typed without .drum, replaced", Target::Typed, QMessageBox::Yes, true },
        { "a FIFO", Target::Fifo, QMessageBox::NoButton, false },
        { "read-only, 100 MB", Target::ReadOnlyLarge, QMessageBox::NoButton, false } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString path = temp.file("victim.drum");
        QFile::remove(path);
        if (row.target == Target::Fifo) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        } else {
            TempFolder::write(path, victim);
        }
        if (row.target == Target::ReadOnlyLarge) {
            ASSERT_TRUE(QFile::resize(path, 100'000'000));
            ::chmod(QFile::encodeName(path).constData(), 0444);
        }
        QString asked;
        if (row.target == Target::Typed) {
            // The dialog gets the name typed, then answers its question; anything still open
            // afterwards is closed, so that a failure cannot leave the test waiting.
            bool typed = false;
            QTimer driver;
            int ticks = 0;
            QObject::connect(&driver, &QTimer::timeout, [&] {
                QWidget* modal = QApplication::activeModalWidget();
                if (++ticks > 500 && modal) { // ~10 s: only a hang comes here
                    ADD_FAILURE() << "still open: " << modal->metaObject()->className() << " "
                                  << (qobject_cast<QFileDialog*>(modal)
                                             ? qobject_cast<QFileDialog*>(modal)
                                                   ->selectedFiles()
                                                   .join(" ")
                                                   .toStdString()
                                             : std::string());
                    modal->close();
                } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    asked = box->text();
                    box->button(row.answer)->click();
                } else if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && !typed) {
                    // The name typed into its field (again, should the folder's loading put the
                    // script's own name there), then Save once the dialog has taken it.
                    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
                    const QStringList chosen = dialog->selectedFiles();
                    if (name->text() != "victim") {
                        name->selectAll();
                        QTest::keyClicks(name, "victim");
                    } else if (!chosen.isEmpty()
                        && (chosen.first().endsWith("/victim.drum")
                            || chosen.first().endsWith("/victim"))) {
                        typed = true;
                        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                    }
                } else if (modal) {
                    modal->close();
                }
            });
            driver.start(20);
            window.findChild<QAction*>("saveAsAction")->trigger();
            EXPECT_FALSE(asked.isEmpty()) << "nothing was asked";
            EXPECT_TRUE(asked.contains("victim.drum already exists")) << asked.toStdString();
        } else {
            EXPECT_FALSE(window.saveAs(path));
            EXPECT_TRUE(window.statusText().contains(row.target == Target::Fifo
                    ? "a named pipe, which is never replaced"
                    : "Permission denied"))
                << window.statusText().toStdString();
        }
        const QFileInfo after(path);
        EXPECT_EQ(after.isFile(), row.target != Target::Fifo);
        if (row.target == Target::Typed) {
            EXPECT_EQ(TempFolder::read(path), row.replaced ? script : victim);
        }
        if (row.target == Target::ReadOnlyLarge) {
            EXPECT_EQ(after.size(), 100'000'000);
        }
        ::chmod(QFile::encodeName(path).constData(), 0644);
    }
    EXPECT_EQ(window.findChild<QAction*>("saveAsAction")->shortcut(), QKeySequence("Ctrl+Shift+S"));
}

// What the window keeps from its settings and from a hand-over is bounded: a saved size is
// clamped to the screens, and a window that is closing plays nothing handed to it and says so.
TEST(Practice, WindowClampsItsSizeAndRefusesHandOversWhileClosing)
{
    TempFolder temp;
    qputenv("XDG_RUNTIME_DIR", temp.path().toLocal8Bit());
    standin::Transport transport;
    std::string error;
    ASSERT_EQ(transport.start("", "file", error), 0) << error;
    QSettings settings(temp.file("practice.ini"), QSettings::IniFormat);
    settings.setValue("size", QSize(100000, 100000));
    standin::PracticeWindow window(transport, settings, temp.path());
    const QSize screens = QGuiApplication::primaryScreen()->availableVirtualGeometry().size();
    EXPECT_LE(window.width(), screens.width());
    EXPECT_LE(window.height(), screens.height());
    TempFolder::write(temp.file("one.drum"), "RAW [new-rud]=48X\r\n[new-rud]\r\n");
    window.show();
    window.close();
    standin::HandoverReply reply;
    window.take({ temp.file("one.drum"), false, 0 }, &reply);
    EXPECT_EQ(reply.outcome, standin::HandoverReply::Outcome::Closing);
    EXPECT_FALSE(transport.playing());
    EXPECT_LE(settings.value("size").toSize().width(), screens.width());
}

} // namespace
