#include "formats/wave/WaveHeader.h"

#include <cstring>

#include "core/ByteOrder.h"

namespace packsmith {

std::array<std::uint8_t, kWaveHeaderBytes> MakeWaveHeader(WaveFormat format, std::uint32_t dataBytes)
{
    using namespace wave_header;
    constexpr std::uint16_t kBitsPerSample = 16;
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(format.Channels * kBitsPerSample / 8);
    std::array<std::uint8_t, kWaveHeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    StoreLE32(h.data() + kRiffSizeAt, 36 + dataBytes);
    std::memcpy(h.data() + kWaveTagAt, "WAVEfmt ", 8);
    StoreLE32(h.data() + kFormatSizeAt, 16);
    StoreLE16(h.data() + kFormatTagAt, 1); // PCM
    StoreLE16(h.data() + kChannelsAt, format.Channels);
    StoreLE32(h.data() + kSampleRateAt, format.SampleRate);
    StoreLE32(h.data() + kByteRateAt, format.SampleRate * blockAlign);
    StoreLE16(h.data() + kBlockAlignAt, blockAlign);
    StoreLE16(h.data() + kBitsPerSampleAt, kBitsPerSample);
    std::memcpy(h.data() + kDataTagAt, "data", 4);
    StoreLE32(h.data() + kDataSizeAt, dataBytes);
    return h;
}

} // namespace packsmith
