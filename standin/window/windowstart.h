#pragma once

#include "displayprobe.h"
#include "exitcodes.h"

#include <QStringList>

// TAMBRIX.EXE started on a script with a display: the practice window, or the hand-over of the
// script to the window already open.
namespace standin {

// Whether these arguments play a script live with a display: a script, at most -notimesig,
// --soundfont FILE and --audio-driver NAME besides, no --no-window, and a display to show on
// (DISPLAY or WAYLAND_DISPLAY, not the offscreen or minimal Qt platform).
bool wantsWindow(const QStringList& arguments);

// Hands the script to the open window, or opens one; returns the exit code, or kPlayInConsole
// when no window answers and the display cannot be reached (displayAnswers() false). It takes the
// stop signals from its start (call it before any other thread starts): SIGTERM, SIGINT and
// SIGHUP end the run within a second whatever it is doing, with "Stopped by SIGTERM." on stdout
// and in the log, its socket removed and exit code 0; SIGUSR1 stops the window's sound.
int runPracticeWindow(int& argc, char** argv, bool (*displayAnswers)() = displayReachable);

} // namespace standin
