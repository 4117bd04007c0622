#include "stopsignals.h"

#include "hostlog.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

    std::atomic<bool> stopFlag { false }; // lock-free: safe in a signal handler
    std::atomic<bool> live { false };
    std::atomic<bool> ended { false };

    // How long a run has to end in order after a stop signal.
    constexpr auto kGrace = std::chrono::milliseconds(800);

    void onStopSignal(int)
    {
        stopFlag = true;
    }

    void installHandler(void (*handler)(int))
    {
        struct sigaction action { };
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        for (int signal : { SIGTERM, SIGINT, SIGHUP, SIGUSR1 })
            ::sigaction(signal, &action, nullptr);
    }

    // The stop signals and SIGUSR1, blocked in this thread and every thread started after it,
    // and taken by sigwait() alone.
    sigset_t blockWatchedSignals()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : { SIGTERM, SIGINT, SIGHUP, SIGUSR1 })
            sigaddset(&set, signal);
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
        return set;
    }

    // Waits for a stop signal; each SIGUSR1 before it goes to silence.
    int waitForStop(const sigset_t& set, const std::function<void()>& silence)
    {
        while (true) {
            int signal = 0;
            if (::sigwait(&set, &signal) != 0)
                continue;
            if (signal != SIGUSR1)
                return signal;
            if (silence)
                silence();
        }
    }

} // namespace

int silenceSignal()
{
    return SIGUSR1;
}

std::string signalName(int signal)
{
    const char* name = ::sigabbrev_np(signal);
    return name ? std::string("SIG") + name : "signal " + std::to_string(signal);
}

bool playingLive()
{
    return live;
}

void catchStopSignals()
{
    live = true;
    installHandler(onStopSignal);
}

bool stopRequested()
{
    return stopFlag;
}

void requestStop()
{
    stopFlag = true;
}

bool claimEnd()
{
    return !ended.exchange(true);
}

namespace {

    std::mutex handlersMutex;
    WindowStopHandlers handlers; // what the signals' thread does now
    bool watching = false;

    WindowStopHandlers current()
    {
        std::lock_guard lock(handlersMutex);
        return handlers;
    }

    // One thread takes the signals for the whole run; the practice window's handlers give way to
    // the console's when the window cannot open and the performance plays in the console.
    void watch(WindowStopHandlers given)
    {
        std::lock_guard lock(handlersMutex);
        handlers = std::move(given);
        if (watching)
            return;
        watching = true;
        const sigset_t set = blockWatchedSignals();
        std::thread([set] {
            const int signal = waitForStop(set, [] {
                if (const auto silence = current().silence)
                    silence();
            });
            requestStop();
            if (current().close(signal))
                std::this_thread::sleep_for(kGrace);
            const int code = claimEnd() ? current().cutShort(signal) : 0;
            if (code < 0)
                return; // the run has ended meanwhile
            std::cout << std::flush;
            ::_exit(code);
        }).detach();
    }

} // namespace

void watchStopSignals(HostLog& log, void (*cleanUp)())
{
    watch({ [] {
               if (playingLive())
                   requestStop();
           },
        [](int) { return true; },
        [&log, cleanUp](int signal) {
            // A live performance ends by being stopped; anything else was cut short.
            const std::string name = signalName(signal);
            const bool live = playingLive();
            const int code = live ? 0 : 128 + signal;
            const std::string line = live
                ? "Stopped by " + name + ".\n"
                : "TAMBRIX.EXE: ended by " + name + " before it had finished\n";
            if (!log.finish(code, line))
                return -1;
            if (cleanUp)
                cleanUp();
            (live ? std::cout : std::cerr) << line << std::flush;
            return code;
        } });
}

void watchWindowStopSignals(WindowStopHandlers given)
{
    watch(std::move(given));
}

} // namespace standin
