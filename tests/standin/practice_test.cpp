// The practice window: key names, the grid's layout, the schedule's event times (loop,
// transition, the held tempo or a trainer's per loop, a tempo change mid-way, the count-in), the
// window taking a handed-over script, keeping the user's tempo and click (also from TAMBRIX.EXE's
// own hand-over, before the host loads), and the window without sound.
#include "displayprobe.h"
#include "gmnames.h"
#include "handover.h"
#include "patterngrid.h"
#include "practicewindow.h"
#include "quickhandover.h"
#include "tempdir.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// Note-ons as "key@ms", rounded to the millisecond; with velocities, clicks as "key@ms:velocity".
std::string noteOns(const std::vector<standin::MidiEvent>& events, bool velocities = false)
{
    std::string text;
    for (const standin::MidiEvent& e : events)
        if (e.type == standin::MidiEvent::Type::NoteOn)
            text += std::to_string(e.key) + "@" + std::to_string(std::lround(e.seconds * 1000))
                + (velocities && e.key > 70 ? ":" + std::to_string(e.velocity) : "") + " ";
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

TEST(Practice, LoopPlaysTransitionsAtTheHeldTempoOrTheTrainersPerLoop)
{
    const struct {
        int tempoChange;
        int tempo; // set by the user; 0: the script's 100
        bool trainer; // a trainer that steps by TEMPOCHANGE every loop
        int tempos[3]; // of the first three loops, within 10 to 1000
    } rows[] = { { 10, 80, false, { 80, 80, 80 } }, { 20, 0, false, { 100, 100, 100 } },
        { 20, 0, true, { 100, 120, 140 } }, { -60, 0, true, { 100, 40, 10 } },
        { 600, 0, true, { 100, 700, 1000 } } };
    for (const auto& row : rows) {
        standin::PracticeSchedule schedule;
        std::string error;
        ASSERT_TRUE(schedule.load(script("SET TEMPOCHANGE=" + std::to_string(row.tempoChange)
                                          + ";SET TRANSITION=fill;SET REPEATS=1\r\nRAW [fill]=15>B",
                                      "15,15"),
            false, error));
        schedule.setLoop(true);
        if (row.tempo)
            schedule.setTempo(row.tempo);
        if (row.trainer)
            schedule.setLoopTempo([&](int repeat, int tempo) {
                return tempo + repeat * schedule.header().tempoChange;
            });
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

TEST(Practice, CountInIsOneBarOfClicksAtTheTempoTheFirstAccented)
{
    const struct {
        const char* header;
        bool noTimeSignature;
        int level;
        double changeAt; // the tempo set to 60 once this much has been taken; 0: never
        const char* played; // up to the first note (of the pattern "15", key 40)
    } rows[] = {
        { "SET TEMPO=100", false, 80, 0, "76@50:100 77@650:80 77@1250:80 77@1850:80 40@2450 " },
        { "SET TEMPO=120;SET TIMESIG=3/8", false, 40, 0, "76@50:50 77@300:40 77@550:40 40@800 " },
        { "SET TEMPO=120;SET TIMESIG=3/8", true, 40, 0,
            "76@50:50 77@550:40 77@1050:40 77@1550:40 40@2050 " },
        { "SET TEMPO=100;SET PLAYBEAT=YES;SET TIMESIG=2/4", false, 110, 0,
            "76@50:127 77@650:110 40@1250 76@1250:127 " },
        { "SET TEMPO=100", false, 0, 0, "40@2450 " },
        { "SET TEMPO=120", false, 80, 0.1, "76@50:100 77@550:80 77@1550:80 77@2550:80 40@3550 " },
    };
    for (const auto& row : rows) {
        standin::PracticeSchedule schedule;
        std::string error;
        ASSERT_TRUE(schedule.load(script(row.header, "15"), row.noTimeSignature, error)) << error;
        schedule.setCountIn(true);
        schedule.setClickLevel(row.level);
        std::string played;
        if (row.changeAt > 0) {
            played = noteOns(schedule.take(row.changeAt), true);
            EXPECT_EQ(schedule.locate(row.changeAt).countIn, 1);
            schedule.setTempo(60);
        }
        played += noteOns(
            schedule.take(std::strtod(std::strrchr(row.played, '@') + 1, nullptr) / 1000 + 0.001),
            true);
        EXPECT_EQ(played, row.played) << row.header;
        EXPECT_GT(schedule.locate(0.7).countIn, 0); // the grid shows the beat counted
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

// A window whose transport writes its sound to a file, its settings in a folder of its own.
class PracticeWindowOnFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_RUNTIME_DIR", temp.path().toLocal8Bit());
        std::string error;
        ASSERT_EQ(transport.start("", "file", error), 0) << error;
    }
    TempFolder temp;
    standin::Transport transport;
    QSettings settings { temp.file("practice.ini"), QSettings::IniFormat };
};

TEST_F(PracticeWindowOnFile, WindowTakesHandedOverScriptsKeepsTheLastGoodOneAndSavesItsBytes)
{
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

TEST_F(PracticeWindowOnFile, WindowKeepsTheUsersTempoAndClickForLaterScriptsUntilReset)
{
    auto window = std::make_unique<standin::PracticeWindow>(transport, settings, temp.path());
    auto* tempo = window->findChild<QSpinBox*>("tempoSpinBox");
    auto* click = window->findChild<QAbstractButton*>("clickButton");
    window->show();
    // Each script handed over after what the user did: the tempo and click that then play.
    const struct {
        const char* header;
        const char* user; // typed into the tempo box, or the button clicked
        int tempo;
        bool click;
    } rows[] = { { "SET TEMPO=90", "", 90, false }, { "SET TEMPO=90", "70", 70, false },
        { "SET TEMPO=120;SET PLAYBEAT=NO", "clickButton", 70, true },
        { "SET TEMPO=130;SET PLAYBEAT=YES", "clickButton", 70, false },
        { "SET TEMPO=140;SET PLAYBEAT=YES", "scriptTempoButton", 140, false } };
    for (const auto& row : rows) {
        auto* button = *row.user ? window->findChild<QAbstractButton*>(row.user) : nullptr;
        if (button) {
            button->click();
        } else if (*row.user) {
            tempo->selectAll();
            QTest::keyClicks(tempo, row.user);
            QTest::keyClick(tempo, Qt::Key_Return);
        }
        TempFolder::write(
            temp.file("x.drum"), row.header + QByteArray("\r\nRAW [new-rud]=15\r\n[new-rud]\r\n"));
        window->take({ temp.file("x.drum"), false, 0 });
        EXPECT_EQ(tempo->value(), row.tempo) << row.header;
        EXPECT_EQ(transport.schedule().tempo(), row.tempo) << row.header;
        EXPECT_EQ(click->isChecked(), row.click) << row.header;
        EXPECT_EQ(click->accessibleName().toStdString(), row.click ? "Click, on" : "Click, off");
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !transport.playing(); }, 10000)); // at its end
    EXPECT_EQ(window->statusText().toStdString(), "Stopped");
    // A new window: the count-in and the level as left, the tempo and click as its script says.
    window->findChild<QAbstractButton*>("countInButton")->click();
    window->findChild<QSlider*>("clickLevelSlider")->setValue(33);
    window = std::make_unique<standin::PracticeWindow>(transport, settings, temp.path());
    window->load(temp.file("x.drum"), false, 0);
    EXPECT_FALSE(window->findChild<QAbstractButton*>("countInButton")->isChecked());
    EXPECT_EQ(transport.schedule().clickLevel(), 33);
    EXPECT_EQ(transport.schedule().tempo(), 140);
    EXPECT_TRUE(transport.schedule().click());
    transport.stop();
}

// Save As: a name typed without ".drum" that names a script is asked about; a FIFO and a
// read-only file (over 64 MiB too) are never replaced. Then a saved size beyond the screens is
// clamped, and a closing window plays nothing handed to it.
TEST_F(PracticeWindowOnFile, SaveAsAsksBeforeReplacingAndReplacesOnlyWritableFiles)
{
    settings.setValue("size", QSize(100000, 100000));
    standin::PracticeWindow window(transport, settings, temp.path());
    const QByteArray script = "RAW [new-rud]=48X\r\n[new-rud]\r\n", victim(64, 'v');
    TempFolder::write(temp.file("one.drum"), script);
    ASSERT_TRUE(window.load(temp.file("one.drum"), false, 0));
    const QString path = temp.file("victim.drum");
    const struct {
        const char* name;
        QMessageBox::StandardButton answer; // through the dialog; NoButton: saveAs() itself
        bool fifo, replaced;
        const char* said;
    } rows[] = { { "typed without .drum, kept", QMessageBox::No, false, false, "" },
        { "typed without .drum, replaced", QMessageBox::Yes, false, true, "" },
        { "a FIFO", QMessageBox::NoButton, true, false, "a named pipe, which is never replaced" },
        { "read-only, 100 MB", QMessageBox::NoButton, false, false, "Permission denied" } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(path);
        if (row.fifo)
            ::mkfifo(QFile::encodeName(path).constData(), 0644);
        else
            TempFolder::write(path, victim);
        if (*row.said && !row.fifo) {
            QFile::resize(path, 100'000'000);
            QFile::setPermissions(path, QFile::ReadOwner);
        }
        if (!*row.said) {
            // The name typed into the dialog's field (again, should the folder's loading put the
            // script's own there), Save, then the answer; after ~10 s anything open is closed.
            QString asked;
            int ticks = 0;
            QTimer driver;
            QObject::connect(&driver, &QTimer::timeout, [&] {
                QWidget* modal = QApplication::activeModalWidget();
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
                if (auto* box = qobject_cast<QMessageBox*>(modal); box && ticks < 500) {
                    asked = box->text();
                    box->button(row.answer)->click();
                } else if (name && asked.isEmpty() && ++ticks < 500 && name->text() != "victim") {
                    name->selectAll();
                    QTest::keyClicks(name, "victim");
                } else if (name && asked.isEmpty() && ticks < 500) {
                    if (dialog->selectedFiles().value(0).contains("/victim"))
                        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                } else if (modal) {
                    modal->close();
                }
            });
            driver.start(20);
            window.findChild<QAction*>("saveAsAction")->trigger();
            EXPECT_TRUE(asked.contains("victim.drum already exists")) << asked.toStdString();
        } else {
            EXPECT_FALSE(window.saveAs(path));
            EXPECT_TRUE(window.statusText().contains(row.said))
                << window.statusText().toStdString();
        }
        EXPECT_EQ(QFileInfo(path).isFile(), !row.fifo);
        if (!row.fifo) { // a FIFO is not read: that would wait for a writer
            EXPECT_EQ(TempFolder::read(path).left(64), row.replaced ? script : victim);
        }
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
    EXPECT_EQ(window.findChild<QAction*>("saveAsAction")->shortcut(), QKeySequence("Ctrl+Shift+S"));
    const QSize screens = QGuiApplication::primaryScreen()->availableVirtualGeometry().size();
    EXPECT_TRUE(window.width() <= screens.width() && window.height() <= screens.height());
    window.show();
    window.close();
    standin::HandoverReply reply;
    window.take({ temp.file("one.drum"), false, 0 }, &reply);
    EXPECT_EQ(reply.outcome, standin::HandoverReply::Outcome::Closing);
    EXPECT_FALSE(transport.playing());
}

// TAMBRIX.EXE's own hand-over, before the host's libraries load: which command lines it hands
// over itself (any other is left to the host), and the window's server reading its message.
TEST(Practice, QuickHandOverTakesThePlainCommandLineAndTheWindowReadsIt)
{
    TempFolder temp;
    const QByteArray cwd = QDir::currentPath().toUtf8();
    const struct {
        std::vector<const char*> arguments;
        const char* script; // null: left to the host
        bool noTimeSignature;
    } rows[] = {
        { { "a.drum" }, "/a.drum", false },
        { { "-notimesig", "./x/../b c.drum" }, "/b c.drum", true },
        { { "--soundfont", "f.sf2", "--audio-driver=alsa", "/t/./a.drum" }, "/t/a.drum", false },
        { { "--no-window", "a.drum" }, nullptr, false },
        { { "--render", "o.wav", "a.drum" }, nullptr, false },
        { { "a.drum", "b.drum" }, nullptr, false },
        { { "-notimesig", "-notimesig", "a.drum" }, nullptr, false },
        { { "--soundfont=", "a.drum" }, nullptr, false },
        { { "--", "-a.drum" }, nullptr, false },
        { { "\xff.drum" }, nullptr, false },
        { {}, nullptr, false },
    };
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    qputenv("DISPLAY", ":97");
    qunsetenv("QT_QPA_PLATFORM"); // as a TEST starts it
    for (const auto& row : rows) {
        std::vector<char*> argv { const_cast<char*>("TAMBRIX.EXE") };
        for (const char* a : row.arguments)
            argv.push_back(const_cast<char*>(a));
        std::string script;
        bool noTimeSignature = false;
        const bool plain
            = standin::plainWindowArguments(int(argv.size()), argv.data(), script, noTimeSignature);
        const std::string expected = row.script
            ? (row.script == std::string("/t/a.drum") ? "" : cwd.toStdString()) + row.script
            : "";
        EXPECT_EQ(plain, row.script != nullptr) << expected;
        if (plain) {
            EXPECT_EQ(script, expected);
            EXPECT_EQ(noTimeSignature, row.noTimeSignature) << expected;
        }
    }
    qputenv("DISPLAY", display);
    qputenv("QT_QPA_PLATFORM", platform);

    standin::HandoverServer server;
    QString why;
    const QString socket = temp.file("handover.socket");
    ASSERT_TRUE(server.listen(socket, why)) << why.toStdString();
    // The window's answers as TAMBRIX.EXE reads them: played, and refused with its code and why.
    standin::Handover received;
    QObject::connect(&server, &standin::HandoverServer::received,
        [&](const standin::Handover& h, standin::HandoverReply* reply) {
            received = h;
            if (h.script.endsWith(u"bad.drum"))
                *reply = { standin::HandoverReply::Outcome::Refused, 1,
                    QStringLiteral("nicht lesbar: Übung") };
        });
    for (const std::string name : { "/Übung 𝄞/straße.drum", "/a/bad.drum" }) {
        std::atomic<bool> done { false };
        std::atomic<bool> handed { false };
        standin::HandoverAnswer answer;
        std::thread client([&] {
            handed = standin::quickHandOver(
                socket.toStdString(), standin::handoverMessage(name, true, 1234.5), answer);
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
        client.join();
        EXPECT_TRUE(handed);
        EXPECT_EQ(received.script.toStdString(), name);
        EXPECT_TRUE(received.noTimeSignature);
        EXPECT_EQ(received.startedAt, 1234.5);
        const bool bad = name == "/a/bad.drum";
        EXPECT_EQ(answer.outcome,
            bad ? standin::HandoverOutcome::Refused : standin::HandoverOutcome::Played);
        EXPECT_EQ(answer.code, bad ? 1 : 0);
        EXPECT_EQ(answer.message, bad ? "nicht lesbar: Übung" : "");
    }
    standin::HandoverAnswer none;
    EXPECT_FALSE(standin::quickHandOver(temp.file("nobody.socket").toStdString(), "x", none));
}

// Audio drivers that fail as they do without a sound server (PulseAudio refuses the
// connection, ALSA has no device) until they are let work; then each renders its source in real
// time and keeps the loudest sample it made.
class SwitchedDrivers : public standin::AudioDrivers {
public:
    std::atomic<bool> work { false };
    std::atomic<float> loudest { 0 };

    std::vector<std::string> defaultNames() const override { return { "pulseaudio", "alsa" }; }
    std::unique_ptr<standin::AudioDriver> start(const std::string& name, int,
        const std::shared_ptr<standin::SampleSource>& source, std::string& cause) override
    {
        if (!work) {
            cause = name == "alsa" ? "Failed to open the \"default\" audio device"
                                   : "Failed to create PulseAudio connection, because "
                                     "pa_simple_new() failed with error: Connection refused";
            return nullptr;
        }
        return std::make_unique<Driver>(source, loudest);
    }

private:
    struct Driver : standin::AudioDriver {
        Driver(std::shared_ptr<standin::SampleSource> source, std::atomic<float>& loudest)
            : thread([this, source, &loudest] {
                float left[512], right[512];
                for (auto next = std::chrono::steady_clock::now(); running;) {
                    source->render(left, right, 512);
                    for (float v : left)
                        loudest = std::max(loudest.load(), std::abs(v));
                    next += std::chrono::microseconds(11610);
                    std::this_thread::sleep_until(next);
                }
            })
        {
        }
        ~Driver() override
        {
            running = false;
            thread.join();
        }
        std::atomic<bool> running { true };
        std::thread thread;
    };
};

TEST(Practice, WindowWithoutSoundSaysWhyPlaysOnItsClockAndSoundsOnceADriverStarts)
{
    TempFolder temp;
    qputenv("XDG_RUNTIME_DIR", temp.path().toLocal8Bit());
    auto drivers = std::make_shared<SwitchedDrivers>();
    standin::Transport transport(drivers);
    std::string error;
    ASSERT_EQ(transport.start("", "", error), 0) << error;
    QSettings settings(temp.file("practice.ini"), QSettings::IniFormat);
    settings.setValue("countIn", false); // the playhead moves from the first note
    standin::PracticeWindow window(transport, settings, temp.path());
    standin::HandoverServer server;
    QString why;
    const QString socket = temp.file("handover.socket");
    ASSERT_TRUE(server.listen(socket, why)) << why.toStdString();
    QObject::connect(
        &server, &standin::HandoverServer::received, &window, &standin::PracticeWindow::take);
    standin::PracticeSchedule::Position position;
    QObject::connect(&transport, &standin::Transport::positionChanged,
        [&](const standin::PracticeSchedule::Position& p) { position = p; });
    const QByteArray pattern = "RAW [new-rud]=15,15,15,15\r\n[new-rud]\r\n";
    TempFolder::write(temp.file("one.drum"), "SET TEMPO=60;SET REPEATS=20\r\n" + pattern);
    TempFolder::write(temp.file("two.drum"), "SET TEMPO=90;SET REPEATS=20\r\n" + pattern);
    window.show();
    ASSERT_TRUE(window.load(temp.file("one.drum"), false, 0));

    const char* cause = "No sound: the PulseAudio server refused the connection (is it running?); "
                        "ALSA's default device could not be opened.";
    auto* line = window.findChild<QLabel*>("silenceLine");
    ASSERT_TRUE(line);
    EXPECT_TRUE(QTest::qWaitFor([&] { return line->isVisible(); }, 10000));
    EXPECT_EQ(line->text().toStdString(), cause);
    EXPECT_NE(window.statusText().indexOf(QString::fromUtf8(cause)), -1)
        << window.statusText().toStdString();

    // Play (stop, then play) moves the playhead on the window's own clock.
    auto* play = window.findChild<QAbstractButton*>("playButton");
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_FALSE(transport.playing());
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_TRUE(transport.playing());
    auto progress = [&] { return position.inside ? position.repeat * 480 + position.tick : 0.0; };
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress() > 120; }, 10000));
    const double reached = progress();
    EXPECT_TRUE(QTest::qWaitFor([&] { return progress() > reached + 60; }, 10000));

    // A later TEST hands its script over as usual.
    std::atomic<bool> delivered { false };
    std::thread client([&] {
        delivered = standin::handOver(socket, { temp.file("two.drum"), false, 0 });
    });
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.windowTitle() == QStringLiteral("two.drum - Tambrix stand-in"); },
        10000));
    client.join();
    EXPECT_TRUE(delivered);
    EXPECT_EQ(drivers->loudest.load(), 0.0f);

    // The driver starts (on the next try): the line goes and the pattern sounds.
    drivers->work = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !line->isVisible(); }, 10000));
    EXPECT_FALSE(transport.driver().isEmpty());
    EXPECT_TRUE(transport.playing());
    EXPECT_TRUE(QTest::qWaitFor([&] { return drivers->loudest.load() > 0.01f; }, 10000))
        << "no note sounded";
    transport.stop();
}

} // namespace
