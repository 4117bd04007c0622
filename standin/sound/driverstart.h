#pragma once

#include "audiodriver.h"

#include <memory>
#include <string>

// An audio driver's start that cannot hold the host.
namespace standin {

// Starts the named driver on a thread of its own: null, with the cause, when it fails, when it
// has not started within 2 seconds (a sound server that does not answer, stopped say, would
// otherwise hold the host for half a minute or more), or when the host is asked to stop
// meanwhile. A start given up goes on by itself; a driver it makes after all is stopped at once.
std::unique_ptr<AudioDriver> startAudioDriver(const std::shared_ptr<AudioDrivers>& drivers,
    const std::string& name, int periods, const std::shared_ptr<SampleSource>& source,
    std::string& cause);

} // namespace standin
