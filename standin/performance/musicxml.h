#pragma once

#include "sheet.h"

#include <string>

// The sheet as MusicXML 3.1 (score-partwise, uncompressed), which notation programs open: one
// percussion part with an instrument per key (its General MIDI name, MIDI channel 10, the key as
// its unpitched MIDI note), the staff positions and noteheads of the sheet, beams, tuplets, ties,
// flams as slashed grace notes, accents, ghost notes in parentheses, the sticking as lyrics, the
// tempo, time signatures, rehearsal marks, repeats and voltas. Pure C++, no file.
namespace standin::sheet {

inline constexpr int kMusicXmlDivisions = kTicksPerQuarter; // a tick is one division

std::string musicXml(const Sheet& sheet);

} // namespace standin::sheet
