#pragma once

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
// when no window answers and the display cannot be reached.
int runPracticeWindow(int& argc, char** argv);

} // namespace standin
