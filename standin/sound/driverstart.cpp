#include "driverstart.h"

#include "fluidmessages.h"
#include "quietstderr.h"
#include "stopsignals.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace standin {

namespace {

    constexpr auto kDriverStartTime = std::chrono::seconds(2);

    // One driver's start on a thread of its own. A start given up still ends some time: the
    // driver it makes then is deleted at once.
    struct DriverStart {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool abandoned = false;
        fluid_audio_driver_t* driver = nullptr;
        std::string cause;

        static void run(
            std::shared_ptr<DriverStart> start, fluid_settings_t* settings, fluid_synth_t* synth)
        {
            fluid_audio_driver_t* driver = new_fluid_audio_driver(settings, synth);
            const std::string cause = driver ? std::string() : takeFluidError();
            std::lock_guard lock(start->mutex);
            if (start->abandoned) {
                if (driver)
                    delete_fluid_audio_driver(driver);
                return;
            }
            start->driver = driver;
            start->cause = cause;
            start->done = true;
            start->finished.notify_all();
        }
    };

} // namespace

fluid_audio_driver_t* startAudioDriver(
    fluid_settings_t* settings, fluid_synth_t* synth, std::string& cause, bool& givenUp)
{
    auto start = std::make_shared<DriverStart>();
    QuietStderr quiet;
    std::thread(DriverStart::run, start, settings, synth).detach();
    std::unique_lock lock(start->mutex);
    const auto deadline = std::chrono::steady_clock::now() + kDriverStartTime;
    while (!start->done && !stopRequested() && std::chrono::steady_clock::now() < deadline)
        start->finished.wait_for(lock, std::chrono::milliseconds(10));
    if (start->done) {
        cause = start->cause.empty() ? "cannot be started" : start->cause;
        return start->driver;
    }
    start->abandoned = true;
    givenUp = true;
    cause = stopRequested() ? "stopped while it started" : "did not start within 2 seconds";
    return nullptr;
}

} // namespace standin
