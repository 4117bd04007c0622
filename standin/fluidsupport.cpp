#include "fluidsupport.h"

#include "playerlock.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

    std::mutex logMutex;
    std::string lastFluidError;

    void keepError(int level, const char* message, void*)
    {
        if (level > FLUID_ERR || !message)
            return;
        std::lock_guard lock(logMutex);
        lastFluidError = message;
    }

    void dropMessage(int, const char*, void*) { }

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

void silenceFluidSynth()
{
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, keepError, nullptr);
        fluid_set_log_function(FLUID_ERR, keepError, nullptr);
        fluid_set_log_function(FLUID_WARN, dropMessage, nullptr);
        fluid_set_log_function(FLUID_INFO, dropMessage, nullptr);
        fluid_set_log_function(FLUID_DBG, dropMessage, nullptr);
    });
}

std::string takeFluidError()
{
    std::lock_guard lock(logMutex);
    std::string message;
    message.swap(lastFluidError);
    return message;
}

QuietStderr::QuietStderr()
{
    std::fflush(stderr);
    saved = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0)
        ::dup2(null, STDERR_FILENO);
    if (null >= 0)
        ::close(null);
}

QuietStderr::~QuietStderr()
{
    std::fflush(stderr);
    if (saved >= 0) {
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    }
}

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
