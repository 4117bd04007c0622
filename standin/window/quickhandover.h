#pragma once

#include <string>

// The hand-over of a later TEST's script to the practice window, in plain C++: TAMBRIX.EXE tries
// it before it loads the host's libraries (Qt, FluidSynth and theirs take a busy machine a
// good part of a second to load), and loads them only when no window takes the script.
namespace standin {

// The socket's path in the user's runtime folder (handoverSocket() is the same); empty, with
// error set, when there is no such folder.
std::string handoverSocketPath(std::string& error);

// Whether the command line (argv[1] on) plays a script live with a display in the plain form
// that is handed over here: the script, and at most -notimesig, --soundfont FILE and
// --audio-driver NAME besides, each once, with a display named (DISPLAY or WAYLAND_DISPLAY, not
// the offscreen or minimal Qt platform). Any other form is left to the host, which hands over
// the same way. script: the script's absolute path, with "." and ".." resolved as Qt resolves
// them; a name that is not UTF-8 is left to the host.
bool plainWindowArguments(int argc, char** argv, std::string& script, bool& noTimeSignature);

// The message as the window's server reads it (HandoverServer): the script's path, the
// -notimesig flag and the start time of the process that hands it over.
std::string handoverMessage(const std::string& script, bool noTimeSignature, double startedAt);

// Sends the message to the window listening on the socket and waits for its answer: true once
// it has taken the script; false when no window listens or answers within the time.
bool quickHandOver(const std::string& socket, const std::string& message, int timeoutMs = 1000);

} // namespace standin
