// The practice window's own start (stop signals, hand-over, sound, socket) on the offscreen
// platform, where TAMBRIX.EXE would play in the console, for the tests of the window as a process.
// It prints "[driver] application" once the window's application exists (the SoundFont loads
// next) and "[driver] playing" or "[driver] stopped" as the Play button changes; with
// PRACTICE_DRIVER_SAVE_AS=1 it opens Save As once playing and prints "[driver] dialog".
#include "practicewindow.h"
#include "windowstart.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>
#include <iostream>

static void watchTheWindow()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return; // the hand-over's application
    std::cout << "[driver] application" << std::endl;
    static bool dialog = qgetenv("PRACTICE_DRIVER_SAVE_AS") == "1";
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [] {
        static QString shown;
        for (auto* window : QApplication::topLevelWidgets()) {
            if (!qobject_cast<standin::PracticeWindow*>(window))
                continue;
            const QString text = window->findChild<QPushButton*>("playButton")->text();
            if (text != shown)
                std::cout << (text == "Stop" ? "[driver] playing" : "[driver] stopped")
                          << std::endl;
            shown = text;
            if (text == "Stop" && dialog) {
                dialog = false;
                QTimer::singleShot(
                    0, window->findChild<QAction*>("saveAsAction"), &QAction::trigger);
            }
        }
        if (qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) && !shown.isEmpty()) {
            std::cout << "[driver] dialog" << std::endl;
            shown.clear();
        }
    });
    timer->start(10);
}
Q_COREAPP_STARTUP_FUNCTION(watchTheWindow)

int main(int argc, char* argv[])
{
    return standin::runPracticeWindow(argc, argv, [] { return true; });
}
