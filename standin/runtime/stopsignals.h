#pragma once

// The stop signals, SIGTERM, SIGINT and SIGHUP: the one place that installs their handling, for
// the console run and the practice window alike.
namespace standin {

class HostLog;

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
void watchStopSignals(HostLog& log, void (*cleanUp)());

// The practice window: the signals are counted, and the window's event loop takes them.
// takeWindowStopSignal() is true once when any came since the last call.
void catchWindowStopSignals();
bool takeWindowStopSignal();

} // namespace standin
