#include "stopsignals.h"

#include "hostlog.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

    std::atomic<bool> stopFlag { false }; // lock-free: safe in a signal handler
    std::atomic<bool> live { false };

    void onStopSignal(int)
    {
        stopFlag = true;
    }

    std::atomic<int> windowSignals { 0 }; // lock-free too

    void onWindowSignal(int)
    {
        ++windowSignals;
    }

    void installHandler(void (*handler)(int))
    {
        struct sigaction action { };
        action.sa_handler = handler;
        sigemptyset(&action.sa_mask);
        for (int signal : { SIGTERM, SIGINT, SIGHUP })
            ::sigaction(signal, &action, nullptr);
    }

    sigset_t stopSignals()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : { SIGTERM, SIGINT, SIGHUP })
            sigaddset(&set, signal);
        return set;
    }

} // namespace

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

void catchWindowStopSignals()
{
    installHandler(onWindowSignal);
}

bool takeWindowStopSignal()
{
    int pending = windowSignals.load();
    while (pending > 0 && !windowSignals.compare_exchange_weak(pending, 0)) { }
    return pending > 0;
}

void watchStopSignals(HostLog& log, void (*cleanUp)())
{
    const sigset_t set = stopSignals();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([&log, set, cleanUp] {
        int signal = 0;
        while (::sigwait(&set, &signal) != 0) { }
        requestStop();
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        // A live performance ends by being stopped; anything else was cut short.
        const std::string name = std::string("SIG") + ::sigabbrev_np(signal);
        const bool live = playingLive();
        const int code = live ? 0 : 128 + signal;
        const std::string line = live
            ? "Stopped by " + name + ".\n"
            : "TAMBRIX.EXE: ended by " + name + " before it had finished\n";
        if (!log.finish(code, line))
            return; // the run has ended meanwhile
        if (cleanUp)
            cleanUp();
        (live ? std::cout : std::cerr) << line << std::flush;
        ::_exit(code);
    }).detach();
}

} // namespace standin
