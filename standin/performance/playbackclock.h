#pragma once

#include <deque>
#include <utility>
#include <vector>

// Where the player's clock (the seconds of the schedule that the synthesiser has made, which move
// on a block of samples at a time) stands at any moment of the monotonic clock, from readings of
// both: a line of slope one through the median of the last quarter second's readings. The readings
// fall anywhere within a block, so the line lies about half a block behind the blocks' starts; the
// median keeps it steady where single readings come late or blocks are made early, and a quarter
// second is short enough to follow a synthesiser that falls behind on a loaded machine.
namespace standin {

// Seconds on the monotonic clock (CLOCK_MONOTONIC): the clock of MIDI and audio timestamps.
double monotonicSeconds();

class PlaybackClock {
public:
    void reset() { mReadings.clear(); }
    void add(double monotonic, double position);
    bool valid() const { return !mReadings.empty(); }
    // The position at a moment (before or after the readings: extrapolated).
    double positionAt(double monotonic) const;

private:
    std::deque<std::pair<double, double>> mReadings; // the last quarter second's
    double mLead = 0; // position less monotonic: the readings' median
};

} // namespace standin
