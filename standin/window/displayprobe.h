#pragma once

// Whether the display that DISPLAY or WAYLAND_DISPLAY names answers: Qt ends the process when it
// cannot connect, so the practice window asks first and the host plays in the console otherwise
// (a stale DISPLAY in a remote shell, an X server that has ended, a screen that the X server does
// not have, a Wayland server without Qt's Wayland plugin). When Qt's platform is not chosen
// already and one of X11 and Wayland answers, Qt is told to use that one (QT_QPA_PLATFORM).
namespace standin {

bool displayReachable();

} // namespace standin
