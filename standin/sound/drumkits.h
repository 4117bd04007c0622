#pragma once

#include <fluidsynth.h>

#include <cstdint>
#include <string>

// A SoundFont as the synthesiser reads it when it plays drum kits alone: its presets of the
// percussion bank (128) and the instruments they use, every sample where it is in the file. A
// General MIDI SoundFont's other 128 presets and their instruments are most of what FluidSynth
// parses and keeps of a large SoundFont's headers (FluidR3_GM: about 12 MB, a good part of its
// load); what the kits sound like is unchanged.
namespace standin {

// The file's "pdta" list with only the drum kits and their instruments: the whole list
// ("LIST", its size, "pdta" and the nine chunks), and where the original list stood in the file
// (offset and size, its first 8 bytes included). False when the file is not a SoundFont whose
// headers can be read this way, or has no drum kit: it is then read as it is.
struct DrumKitHeaders {
    std::string list;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t fileSize = 0;
};
bool readDrumKitHeaders(const std::string& file, DrumKitHeaders& headers);

// Has the synthesiser read SoundFonts this way from now on (a SoundFont without drum kits, or
// one that cannot be read so, as it is).
void readDrumKitsOnly(fluid_synth_t* synth, fluid_settings_t* settings);

} // namespace standin
