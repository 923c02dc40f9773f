#pragma once

#include <string>

#include "concurrency/StopToken.h"
#include "formats/sound/Pcm16.h"

namespace packsmith {

// Fits the sound to the file it replaces: the given channel count (mono is the average of
// the channels; more channels repeat the last one, fewer keep the first ones) and sample
// rate (resampled at high quality). description says what was done for the results line,
// e.g. "resampled from 48000 Hz, mixed to mono, converted from 24-bit", or is empty when
// the sound was already right. Leaves with JobStopped when stop is raised.
Pcm16 ConvertSound(Pcm16 in, int channels, int sampleRate, std::string& description,
                   const StopToken& stop = {});

} // namespace packsmith
