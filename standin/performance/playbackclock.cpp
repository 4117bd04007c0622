#include "playbackclock.h"

#include <algorithm>
#include <chrono>

namespace standin {

namespace {

    constexpr double kKeptSeconds = 0.25;

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
    std::vector<double> leads;
    leads.reserve(mReadings.size());
    for (const auto& [when, at] : mReadings)
        leads.push_back(at - when);
    std::nth_element(leads.begin(), leads.begin() + leads.size() / 2, leads.end());
    mLead = leads[leads.size() / 2];
}

double PlaybackClock::positionAt(double monotonic) const
{
    return mReadings.empty() ? 0 : monotonic + mLead;
}

} // namespace standin
