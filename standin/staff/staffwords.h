#pragma once

#include "sheet.h"

#include <QString>

// The sheet in words, as a screen reader reads the staff: drums by the names drummers use.
namespace standin::staff {

// The drum a key stands for on the staff ("snare", "hi-hat", "bass drum"), else its General MIDI
// name.
QString drumName(int key);

// A written length: "16th", "dotted 8th", "triplet 8th", "16th, 5 in the time of 3".
QString lengthName(const sheet::Written& length);

// "Pattern [new-rud], 100 quarter notes per minute. Bar 1: snare accent with flam, 16th, R;
// hi-hat with bass drum, 8th; ...". Each section's mark, its repeats, every bar in order.
QString describeSheet(const sheet::Sheet& sheet);

} // namespace standin::staff
