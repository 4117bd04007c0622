#include "playbackclock.h"

#include <algorithm>
#include <chrono>

namespace standin {

namespace {

    constexpr double kKeptSeconds = 0.5;

} // namespace

double monotonicSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void PlaybackClock::add(double monotonic, double position)
{
    mReadings.emplace_back(monotonic, position);
    while (mReadings.size() > 2 && mReadings.front().first < monotonic - kKeptSeconds)
        mReadings.pop_front();
}

double PlaybackClock::positionAt(double monotonic) const
{
    double lead = -1e18;
    for (const auto& [when, position] : mReadings)
        lead = std::max(lead, position - when);
    return mReadings.empty() ? 0 : monotonic + lead;
}

} // namespace standin
