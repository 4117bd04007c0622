#pragma once

#include "outputtarget.h"
#include "performance.h"

#include <filesystem>
#include <string>

// A performance written as a Standard MIDI File (midiFileBytes) into its output file.
namespace standin {

// Writes the file's bytes into the output file (opened here) and finishes it, ready to be
// committed. On failure it returns false and sets error to the path and the cause.
bool writeMidiFile(const Performance& performance, OutputFile& file, std::string& error);

// Writes the file through a temporary file beside it that is then renamed into place, so that
// the path never names a half-written file. On failure it returns false and sets error to the
// path and the system's reason; the temporary file is removed.
bool writeMidiFile(
    const Performance& performance, const std::filesystem::path& path, std::string& error);

} // namespace standin
