#pragma once

#include <QString>

// The system's description of a Windows error code (GetLastError), never empty.
QString winMessage(unsigned long code);
