#pragma once

#include "outputtarget.h"
#include "sheet.h"

#include <string>

// The sheet as a file (--sheet FILE, the practice window's Export Sheet), in the format its name's
// extension gives: ".musicxml" is MusicXML, ".pdf" and ".svg" the staff drawn (staffdocument.h).
// The one place that knows the formats.
namespace standin {

// Whether a sheet of that name can be written; else false, with error naming the file and what
// is wrong with its name.
bool checkSheetName(const std::string& path, std::string& error);

// Whether a sheet of that name is drawn with Qt's painting and fonts (PDF, SVG), which needs a
// QGuiApplication.
bool drawnSheet(const std::string& path);

// Writes the sheet into the output file (opened here) and finishes it, ready to be committed. On
// failure it returns false and sets error to the path and the cause.
bool writeSheetFile(const sheet::Sheet& sheet, OutputFile& file, std::string& error);

} // namespace standin
