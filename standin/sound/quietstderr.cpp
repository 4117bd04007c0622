#include "quietstderr.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace standin {

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

} // namespace standin
