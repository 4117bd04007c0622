#include "fluidmessages.h"

#include <mutex>

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

} // namespace standin
