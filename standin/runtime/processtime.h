#pragma once

// When this process started, from the system's record (plain C++: TAMBRIX.EXE reads it before
// it loads the host's libraries).
namespace standin {

// Seconds since this process started (to a hundredth of a second).
double secondsSinceProcessStart();

// Seconds on CLOCK_BOOTTIME, the clock that process start times are given in.
double bootSeconds();

} // namespace standin
