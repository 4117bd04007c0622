#pragma once

#include "clipboard.h"
#include "dialogs.h"
#include "processlauncher.h"
#include "programend.h"
#include "registry.h"

// The platform services the program works with. main() wires the real ones; tests pass fakes.
struct Services {
    IDialogs& dialogs;
    IClipboard& clipboard;
    IProcessLauncher& launcher;
    IProgramEnd& programEnd;
    IRegistry& registry;
};
