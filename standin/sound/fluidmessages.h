#pragma once

#include <fluidsynth.h>
#include <string>

// FluidSynth's messages: errors are kept for the failure message (takeFluidError), the rest is
// dropped, so that none reaches the console.
namespace standin {

// Idempotent.
void silenceFluidSynth();
std::string takeFluidError();

} // namespace standin
