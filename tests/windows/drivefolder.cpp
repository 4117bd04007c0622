#include "drivefolder.h"

#include <windows.h>

bool setDriveFolder(char drive, const std::string& folder)
{
    const char name[] = { '=', drive, ':', '\0' };
    return ::SetEnvironmentVariableA(name, folder.c_str()) != 0;
}
