// The practice window as TAMBRIX.EXE opens it, for the tests of the window as a process: the same
// start (stop signals, hand-over, sound, socket) on the offscreen platform, where TAMBRIX.EXE
// itself would play in the console. It prints what the tests wait for: "[driver] application"
// when the window's application exists (the SoundFont is loaded next), "[driver] playing" and
// "[driver] stopped" as the Play button changes, and, with PRACTICE_DRIVER_SAVE_AS=1 in its
// environment, opens the Save As dialog once the window plays and prints "[driver] dialog".
#include "practicewindow.h"
#include "windowstart.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>
#include <iostream>

namespace {

void watchTheWindow()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return; // the hand-over's application, before the window's
    std::cout << "[driver] application" << std::endl;
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [] {
        static QString shown;
        static bool dialog = false;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<standin::PracticeWindow*>(top);
            if (!window)
                continue;
            const QString text = window->findChild<QPushButton*>("playButton")->text();
            if (text != shown)
                std::cout << (text == QLatin1String("Stop") ? "[driver] playing"
                                                            : "[driver] stopped")
                          << std::endl;
            shown = text;
            if (text == QLatin1String("Stop") && !dialog
                && qEnvironmentVariable("PRACTICE_DRIVER_SAVE_AS") == "1") {
                dialog = true;
                QAction* saveAs = window->findChild<QAction*>("saveAsAction");
                QTimer::singleShot(0, saveAs, &QAction::trigger);
            }
        }
        if (auto* open = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            open && open->isVisible() && dialog) {
            std::cout << "[driver] dialog" << std::endl;
            dialog = false; // said once
            qputenv("PRACTICE_DRIVER_SAVE_AS", "done");
        }
    });
    timer->start(10);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watchTheWindow)

int main(int argc, char* argv[])
{
    return standin::runPracticeWindow(argc, argv, [] { return true; });
}
