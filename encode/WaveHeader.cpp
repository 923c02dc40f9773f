#include "encode/WaveHeader.h"

#include <cstring>

#include "decomp/ByteOrder.h"

namespace packsmith {

std::array<std::uint8_t, kWaveHeaderBytes> MakeWaveHeader(WaveFormat format, std::uint32_t dataBytes)
{
    constexpr std::uint16_t kBitsPerSample = 16;
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(format.Channels * kBitsPerSample / 8);
    std::array<std::uint8_t, kWaveHeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    StoreLE32(h.data() + 4, 36 + dataBytes);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    StoreLE32(h.data() + 16, 16);
    StoreLE16(h.data() + 20, 1); // PCM
    StoreLE16(h.data() + 22, format.Channels);
    StoreLE32(h.data() + 24, format.SampleRate);
    StoreLE32(h.data() + 28, format.SampleRate * blockAlign);
    StoreLE16(h.data() + 32, blockAlign);
    StoreLE16(h.data() + 34, kBitsPerSample);
    std::memcpy(h.data() + 36, "data", 4);
    StoreLE32(h.data() + 40, dataBytes);
    return h;
}

} // namespace packsmith
