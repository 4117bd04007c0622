// The practice window's play-along and trainer controls: the toggles as a screen reader reads
// them (Listen stays off, and says why, when its input cannot be opened), Save Results' checks,
// the trainer's steps as the window's schedule plays them.
#include "listenpanel.h"
#include "practicewindow.h"
#include "savefile.h"
#include "tempdir.h"
#include "trainerpanel.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

struct WindowRig {
    TempFolder temp;
    standin::Transport transport;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<standin::PracticeWindow> window;

    explicit WindowRig(const QString& input = "mic:nowhere")
    {
        qputenv("XDG_RUNTIME_DIR", temp.path().toLocal8Bit());
        qputenv("PULSE_SERVER", ("unix:" + temp.file("no-pulse")).toLocal8Bit());
        qputenv("JACK_DEFAULT_SERVER", "rudimix-no-such-server");
        std::string error;
        EXPECT_EQ(transport.start("", "file", error), 0) << error;
        settings = std::make_unique<QSettings>(temp.file("practice.ini"), QSettings::IniFormat);
        settings->setValue("listen/input", input);
        window = std::make_unique<standin::PracticeWindow>(transport, *settings, temp.path());
        TempFolder::write(
            temp.file("loop.drum"), "SET TEMPO=100\r\nRAW [new-rud]=15,15,15,15\r\n[new-rud]\r\n");
    }
    QPushButton* button(const char* name) { return window->findChild<QPushButton*>(name); }
};

TEST(ListenWindow, TogglesReadTheirStateAndListenSaysWhyItStaysOff)
{
    WindowRig rig;
    rig.window->show();
    rig.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.window.get()));
    const bool seq = QFile::exists("/dev/snd/seq"); // MIDI's virtual port opens on ALSA there
    const struct {
        const char* button;
        Qt::Key key;
        const char* input;
        const char* afterKey;
        const char* status;
    } rows[] = { { "loopButton", Qt::Key_L, "", "Loop, on", "" },
        { "countInButton", Qt::Key_K, "", "Count-in, off", "" },
        { "trainerButton", Qt::Key_R, "", "Trainer, on", "" },
        { "listenButton", Qt::Key_I, "mic:nowhere", "Listen, off", "Not listening: " },
        { "listenButton", Qt::Key_I, "midi", seq ? "Listen, on" : "Listen, off",
            seq ? "Listening to the " : "Not listening: " } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        std::string error;
        standin::InputChoice choice;
        if (*row.input && standin::InputChoice::parse(row.input, choice, error))
            rig.window->listenPanel().choose(choice);
        QTest::keyClick(rig.window.get(), row.key);
        EXPECT_EQ(rig.button(row.button)->accessibleName(), row.afterKey);
        EXPECT_TRUE(!*row.status || rig.window->statusText().startsWith(row.status))
            << rig.window->statusText().toStdString();
        if (rig.button(row.button)->isChecked())
            QTest::keyClick(rig.window.get(), row.key);
    }
    EXPECT_EQ(rig.settings->value("listen/input").toString(), "midi");
}

TEST(ListenWindow, SaveResultsRefusesWhatSaveAsRefusesAndAsksBeforeReplacing)
{
    WindowRig rig;
    const QString path = rig.temp.file("results.csv");
    const struct {
        const char* name;
        bool fifo, readOnly, dialog, written;
        const char* said;
    } rows[] = { { "a new file", false, false, false, true, "Saved the results in " },
        { "a FIFO", true, false, false, false, "a named pipe, which is never replaced" },
        { "read-only", false, true, false, false, "Permission denied" },
        { "typed without .csv, kept", false, false, true, false, "" } };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(path);
        if (row.fifo)
            ::mkfifo(QFile::encodeName(path).constData(), 0644);
        else if (row.readOnly || row.dialog)
            TempFolder::write(path, "kept");
        if (row.readOnly)
            QFile::setPermissions(path, QFile::ReadOwner);
        if (row.dialog) {
            QString asked;
            QTimer driver;
            QObject::connect(&driver, &QTimer::timeout, [&] {
                QWidget* modal = QApplication::activeModalWidget();
                auto* dialog = qobject_cast<QFileDialog*>(modal);
                auto* name = dialog ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
                if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    asked = box->text();
                    box->button(QMessageBox::No)->click();
                } else if (!asked.isEmpty() && modal) {
                    modal->close();
                } else if (name && name->text() != "results") {
                    name->selectAll();
                    QTest::keyClicks(name, "results");
                } else if (name && dialog->selectedFiles().value(0).contains("/results")) {
                    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
                }
            });
            driver.start(20);
            QTimer::singleShot(10000, [] {
                if (QWidget* modal = QApplication::activeModalWidget())
                    modal->close();
            });
            EXPECT_TRUE(standin::askSavePath(rig.window.get(),
                { "Save the results as", "saveResultsDialog", "CSV (*.csv)", "csv", rig.temp.path(),
                    "results.csv" })
                            .isEmpty());
            EXPECT_TRUE(asked.contains("results.csv already exists")) << asked.toStdString();
        } else {
            EXPECT_EQ(rig.window->listenPanel().saveResults(path), row.written);
            EXPECT_TRUE(rig.window->statusText().contains(row.said))
                << rig.window->statusText().toStdString();
        }
        if (!row.fifo) {
            EXPECT_EQ(TempFolder::read(path).startsWith("loop,"), row.written)
                << TempFolder::read(path).toStdString();
        }
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    }
}

// The tempo each repeat of the looped pattern plays at, as the window's schedule has it.
std::vector<int> repeatTempos(const standin::PracticeSchedule& shown, int repeats)
{
    standin::PracticeSchedule schedule = shown;
    schedule.restart();
    std::vector<int> tempos;
    for (double t = 0; int(tempos.size()) < repeats && t < 120; t += 0.05) {
        schedule.take(t + 0.1);
        for (const auto& start : schedule.sectionStarts(t - 0.05, t))
            tempos.push_back(schedule.locate(start.seconds + 0.01).tempo);
    }
    return tempos;
}

TEST(ListenWindow, TrainerStepsThroughTheWindowsSchedule)
{
    using standin::LoopSummary;
    const LoopSummary clean { 1, 4, 4, 0, 0, 0.003, 0.004, 0.012, 0 };
    LoopSummary late = clean;
    late.worst = 0.031;
    const struct {
        const char* name;
        int step, cleanLoops, limit;
        std::vector<LoopSummary> heard; // empty: not listening
        std::vector<int> tempos;
        const char* shown;
    } rows[] = {
        { "by loops, to the limit", 4, 1, 108, {}, { 100, 104, 108, 108 },
            "Tempo 100, next 104 after 1 clean loop" },
        { "by two loops", 10, 2, 200, {}, { 100, 100, 110, 110, 120 },
            "Tempo 100, next 110 after 2 clean loops" },
        { "down", -5, 1, 90, {}, { 100, 95, 90, 90 }, "Tempo 100, next 95 after 1 clean loop" },
        // Loop 1 clean: 104 from loop 3; loop 2 late by 31 ms: no step; loop 3 clean: 108 from 5.
        { "listening", 4, 1, 140, { clean, late, clean }, { 100, 100, 104, 104, 108 },
            "Tempo 100, next 112 after 1 clean loop" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WindowRig rig;
        rig.settings->setValue("loop", true);
        rig.window = std::make_unique<standin::PracticeWindow>(
            rig.transport, *rig.settings, rig.temp.path());
        ASSERT_TRUE(rig.window->load(rig.temp.file("loop.drum"), false, 0));
        standin::TrainerPanel& trainer = rig.window->trainerPanel();
        rig.window->findChild<QSpinBox*>("trainerStep")->setValue(row.step);
        rig.window->findChild<QSpinBox*>("trainerCleanLoops")->setValue(row.cleanLoops);
        rig.window->findChild<QSpinBox*>("trainerLimit")->setValue(row.limit);
        rig.button("trainerButton")->click();
        trainer.setListening(!row.heard.empty());
        for (std::size_t i = 0; i < row.heard.size(); ++i) {
            LoopSummary summary = row.heard[i];
            summary.loop = int(i) + 1;
            trainer.loopDone(summary);
        }
        EXPECT_EQ(repeatTempos(rig.transport.schedule(), int(row.tempos.size())), row.tempos);
        EXPECT_EQ(trainer.text().toStdString(), row.shown);
    }
}

} // namespace
