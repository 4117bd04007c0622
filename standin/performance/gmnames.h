#pragma once

#include <QString>

// The General MIDI percussion names of the keys 35 to 81 (channel 10); "Key n" for any other.
namespace standin {

QString percussionName(int key);

} // namespace standin
