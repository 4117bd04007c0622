#include "driverstart.h"

#include "quietstderr.h"
#include "stopsignals.h"

#include <chrono>
#include <condition_variable>
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
        std::unique_ptr<AudioDriver> driver;
        std::string cause;

        static void run(std::shared_ptr<DriverStart> start, std::shared_ptr<AudioDrivers> drivers,
            std::string name, int periods, std::shared_ptr<SampleSource> source)
        {
            std::string cause;
            std::unique_ptr<AudioDriver> driver = drivers->start(name, periods, source, cause);
            std::unique_lock lock(start->mutex);
            if (start->abandoned) {
                lock.unlock();
                driver.reset();
                return;
            }
            start->driver = std::move(driver);
            start->cause = cause;
            start->done = true;
            start->finished.notify_all();
        }
    };

} // namespace

std::unique_ptr<AudioDriver> startAudioDriver(const std::shared_ptr<AudioDrivers>& drivers,
    const std::string& name, int periods, const std::shared_ptr<SampleSource>& source,
    std::string& cause)
{
    auto start = std::make_shared<DriverStart>();
    QuietStderr quiet; // the sound libraries' own complaints
    std::thread(DriverStart::run, start, drivers, name, periods, source).detach();
    std::unique_lock lock(start->mutex);
    const auto deadline = std::chrono::steady_clock::now() + kDriverStartTime;
    while (!start->done && !stopRequested() && std::chrono::steady_clock::now() < deadline)
        start->finished.wait_for(lock, std::chrono::milliseconds(10));
    if (start->done) {
        cause = start->cause.empty() ? "cannot be started" : start->cause;
        return std::move(start->driver);
    }
    start->abandoned = true;
    cause = stopRequested() ? "stopped while it started" : "did not start within 2 seconds";
    return nullptr;
}

} // namespace standin
