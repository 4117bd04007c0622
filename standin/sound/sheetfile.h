#pragma once

#include "outputtarget.h"
#include "sheet.h"

#include <string>

// The sheet as a file (--sheet FILE), in the format its name's extension gives: ".musicxml" is
// MusicXML; ".pdf" and ".svg" are named but not written yet. The one place that knows the formats.
namespace standin {

// Whether a sheet of that name can be written; else false, with error naming the file and what
// is wrong with its name.
bool checkSheetName(const std::string& path, std::string& error);

// Writes the sheet into the output file (opened here) and finishes it, ready to be committed. On
// failure it returns false and sets error to the path and the cause.
bool writeSheetFile(const sheet::Sheet& sheet, OutputFile& file, std::string& error);

} // namespace standin
