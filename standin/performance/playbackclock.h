#pragma once

#include <deque>
#include <utility>

// Where the player's clock (the seconds of the schedule that the synthesiser has made, which move
// on a block of samples at a time) stands at any moment of the monotonic clock, from readings of
// both: the line of slope one through the readings taken soonest after a block (a reading taken
// late lies below it, never above).
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
    std::deque<std::pair<double, double>> mReadings; // the last half second's
};

} // namespace standin
