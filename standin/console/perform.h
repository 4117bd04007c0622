#pragma once

#include "arguments.h"
#include "processtime.h"
#include "script.h"

#include <ostream>
#include <string>

// What the stand-in host does with a script that it has read: the performance played live, or
// written into a WAV file, a MIDI file and/or the sheet.
namespace standin {

// Plays or writes the script's performance; returns the host's exit code. Messages name the
// script (scriptName) where the script is at fault.
int perform(const Script& script, const std::string& scriptName, const PlayOptions& options,
    std::ostream& out, std::ostream& err);

// TAMBRIX.EXE --stop: ends the live performance that is playing, if any.
int stopPerformance(std::ostream& out, std::ostream& err);

} // namespace standin
