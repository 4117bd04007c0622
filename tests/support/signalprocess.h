#pragma once

#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

// Sends a signal to a child process that is still running. A process that has ended has no id
// (0), and kill(0, ...) would signal the test's whole process group, ctest with it.
inline void signalProcess(const QProcess& process, int signal)
{
    const qint64 pid = process.processId();
    EXPECT_GT(pid, 0) << "the process has ended before its signal";
    if (pid > 0)
        ::kill(pid_t(pid), signal);
}
