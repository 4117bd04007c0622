#pragma once

#include <cstddef>
#include <string>

// The hand-over of a later TEST's script to the practice window, in plain C++: TAMBRIX.EXE tries
// it before it loads the host's libraries (Qt, FluidSynth and theirs take a busy machine a
// good part of a second to load), and loads them only when no window takes the script.
namespace standin {

inline constexpr char kHandoverSocketName[] = "rudimix-tambrix.socket";
inline constexpr std::size_t kMaxSocketPathBytes = 107; // what a local socket's address holds

// The socket's path: rudimix-tambrix.socket in the user's runtime folder (the lock's, see
// userRuntimeFolder()), or, when that path is longer than a socket's address holds, in
// /tmp/rudimix-<uid> (made 0700, and only used when it is the user's own folder); notice then
// says which and why. Empty, with error set, when there is no such folder or no path fits.
std::string handoverSocketPath(std::string& error, std::string* notice = nullptr);

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

// The window's answer to a hand-over.
enum class HandoverOutcome {
    Played,
    Refused, // the script cannot be played: code is the exit code a console run gives it
    Closing, // the window is closing: the handing process plays the script itself
};
struct HandoverAnswer {
    HandoverOutcome outcome = HandoverOutcome::Played;
    int code = 0;
    std::string message; // why it was refused, in one line (UTF-8)
};

// The answer as the window writes it and TAMBRIX.EXE reads it: the outcome and the code as
// 32-bit big-endian numbers, the message as a QDataStream string (its length in bytes, its
// UTF-16 units big-endian).
std::string encodeHandoverAnswer(const HandoverAnswer& answer);
enum class AnswerRead { Complete, Incomplete, Malformed };
AnswerRead decodeHandoverAnswer(const std::string& bytes, HandoverAnswer& answer);

inline constexpr std::size_t kMaxHandoverBytes = 8 * 1024; // a message, or an answer, at most

// Sends the message to the window listening on the socket and waits for its answer: true, with
// answer set, once the window has answered; false when no window listens or answers within the
// time (the window answers once it has read the script, so the answer may take longer).
bool quickHandOver(const std::string& socket, const std::string& message, HandoverAnswer& answer,
    int timeoutMs = 1000);

} // namespace standin
