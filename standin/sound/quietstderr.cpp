#include "quietstderr.h"

#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace standin {

namespace {

    std::mutex quietMutex;
    int quietCount = 0;
    int savedStderr = -1;

} // namespace

QuietStderr::QuietStderr()
{
    std::lock_guard lock(quietMutex);
    if (quietCount++ > 0)
        return;
    std::fflush(stderr);
    savedStderr = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (savedStderr >= 0 && null >= 0)
        ::dup2(null, STDERR_FILENO);
    if (null >= 0)
        ::close(null);
}

QuietStderr::~QuietStderr()
{
    std::lock_guard lock(quietMutex);
    if (--quietCount > 0)
        return;
    std::fflush(stderr);
    if (savedStderr >= 0) {
        ::dup2(savedStderr, STDERR_FILENO);
        ::close(savedStderr);
        savedStderr = -1;
    }
}

} // namespace standin
