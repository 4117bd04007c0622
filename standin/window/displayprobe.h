#pragma once

// Whether the display that DISPLAY or WAYLAND_DISPLAY names answers: Qt ends the process when it
// cannot connect, so the practice window asks first and the host plays in the console otherwise
// (a stale DISPLAY in a remote shell, an X server that has ended).
namespace standin {

bool displayReachable();

} // namespace standin
