#pragma once

#include <cstdint>
#include <optional>

// The arithmetic of the range editor's volume edit, apart from any window.
namespace rangemath {

// Volume change per note of a straight-line (de)crescendo, in scroll-bar terms: the volume
// positions of the range's first and last notes (pFrom, pTo) and their column indexes. The
// quotient is formed in double precision and kept as a 32-bit float. A range of one note
// (iFrom == iTo) has no slope: it gives 0, which leaves that note as it is.
float crescendoStep(int pFrom, int pTo, int iFrom, int iTo);

// Scroll-bar position of the note k places after the range's first note, for a line that
// starts at volume `start` and changes by `step` per note: x = 9 - (k * step + start), summed in
// double precision, x kept as a 32-bit float, then rounded to the nearest integer with ties to
// even. Nothing when x is not a finite number that fits a 16-bit position.
std::optional<int> volumePosition(int k, float step, std::int16_t start);

} // namespace rangemath
