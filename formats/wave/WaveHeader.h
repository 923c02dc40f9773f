#pragma once

#include <array>
#include <cstdint>

#include "formats/wave/WaveFile.h"

namespace packsmith {

struct WaveFormat {
    std::uint16_t Channels = 1;
    std::uint32_t SampleRate = 22050;
};

// The 44-byte header of a 16-bit PCM wave file with dataBytes of samples.
std::array<std::uint8_t, kWaveHeaderBytes> MakeWaveHeader(WaveFormat format, std::uint32_t dataBytes);

} // namespace packsmith
