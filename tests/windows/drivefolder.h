#pragma once

#include <string>

// The current folder of a drive other than the current one, as cmd.exe keeps it: the
// environment value "=C:" that the system's path calls read for a drive-relative "C:Host".
bool setDriveFolder(char drive, const std::string& folder);
