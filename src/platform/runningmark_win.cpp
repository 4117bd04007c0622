#include "runningmark.h"

#include <windows.h>

// A mutex that cannot be made (another user's of that name, refused by its access rights) is
// left out: the other one, or that user's, tells the installer all the same.
RunningMark::RunningMark()
    : mSession(::CreateMutexA(nullptr, FALSE, RUDIMIX_RUNNING_MUTEX))
    , mGlobal(::CreateMutexA(nullptr, FALSE, "Global\\" RUDIMIX_RUNNING_MUTEX))
{
}

RunningMark::~RunningMark()
{
    if (mGlobal)
        ::CloseHandle(mGlobal);
    if (mSession)
        ::CloseHandle(mSession);
}
