#pragma once

#include "sheet.h"

#include <functional>
#include <string>
#include <string_view>

// The sheet as MusicXML 3.1 (score-partwise, uncompressed), which notation programs open: one
// percussion part with an instrument per key (its General MIDI name, MIDI channel 10, the key as
// its unpitched MIDI note), the staff positions and noteheads of the sheet, beams, tuplets, ties,
// flams as slashed grace notes, accents, ghost notes in parentheses, the sticking as lyrics, the
// tempo, time signatures, rehearsal marks, repeats and voltas. Pure C++, no file.
namespace standin::sheet {

inline constexpr int kMusicXmlDivisions = kTicksPerQuarter; // a tick is one division

// The document's text, handed to the sink a measure at a time (so that a long sheet is never held
// whole); false as soon as the sink returns false.
bool writeMusicXml(const Sheet& sheet, const std::function<bool(std::string_view)>& sink);

// The whole document as one text.
std::string musicXml(const Sheet& sheet);

} // namespace standin::sheet
