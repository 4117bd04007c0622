#pragma once

#include <functional>
#include <string>

// The stop signals, SIGTERM, SIGINT and SIGHUP, which end the host, and SIGUSR1, which only
// silences a live performance (what a newer performance and --stop send to the one playing): the
// one place that handles them, for the console run and the practice window alike.
namespace standin {

class HostLog;

// The signal that asks the performance playing to stop its sound, and the process to stay.
int silenceSignal();
// "SIGTERM", "SIGINT", ...
std::string signalName(int signal);

// A live performance: the signals set a flag instead of ending the process, so that a stopped
// player closes its audio driver in order; being stopped is then the usual end (playingLive()).
void catchStopSignals();
bool playingLive();
bool stopRequested();
void requestStop(); // as one of those signals does

// The console run: the signals are taken by a thread of their own from here on (call it before
// any other thread starts): each asks the run to stop (stopRequested()); a run that has not ended
// 0.8 seconds later is ended there, with its log written, cleanUp called (unfinished output files
// removed) and the exit code 0 for a live performance (stopped), else 128 + the signal's number.
// SIGUSR1 stops a live performance (which then ends as stopped) and is ignored by any other run.
// After watchWindowStopSignals() (a window that could not open), the console's handling takes
// over.
void watchStopSignals(HostLog& log, void (*cleanUp)());

// The practice window's part in its stop signals, called on the signals' own thread.
struct WindowStopHandlers {
    std::function<void()> silence; // SIGUSR1: stop the sound, keep the window
    // A stop signal: asks the window to close in order; false when there is no window to ask
    // (it is still starting), and the process is then ended at once.
    std::function<bool(int signal)> close;
    // The window has not closed within 0.8 seconds, or there was none: the last things to do
    // (the log line, the socket); returns the exit code the process ends with there.
    std::function<int(int signal)> cutShort;
};

// The practice window: from here on (call it before any other thread starts) the signals are
// taken by a thread of their own and handed to the handlers. Whatever the window is doing, the
// process has ended 0.8 seconds after a stop signal.
void watchWindowStopSignals(WindowStopHandlers handlers);

// True for the first caller only: the window's own close and the signals' thread both end the
// run, and only one of them writes its last log line and removes its socket.
bool claimEnd();

} // namespace standin
