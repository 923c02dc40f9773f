#include "formats/wac/WacDecoder.h"

#include <array>

#include "core/ByteOrder.h"
#include "formats/AudioBitReader.h"

namespace packsmith {

namespace {

// The delta of an explicit code by its first 11 bits, the flag 0 and the 10-bit payload:
// a sign bit over a 9-bit magnitude, scaled by 64. The upper half, where a repeat's flag 1
// leads, holds 0, so a repeat keeps the previous delta by an OR.
constexpr std::array<std::uint16_t, 2048> kDeltas = [] {
    std::array<std::uint16_t, 2048> deltas{};
    for (int v = 0; v < 1024; ++v)
        deltas[static_cast<std::size_t>(v)] = static_cast<std::uint16_t>((v < 512 ? v : 512 - v) * 64);
    return deltas;
}();

// A refill leaves at least 56 bits, enough for five codes of at most 11 bits; four divide
// a block evenly and make two pairs of samples, stored together.
constexpr std::size_t kCodesPerRefill = 4;
static_assert(kWacSamplesPerBlock % kCodesPerRefill == 0);

} // namespace

void DecodeWacBlock(std::span<const std::uint8_t> coded, std::span<std::uint8_t, kWacBlockBytes> decoded,
                    WacDecoderState& state)
{
    const AudioBitSource source(coded);
    AudioBitReader reader;
    reader.Refill(source);
    reader.Skip(3); // the first three bits of a block are never read

    std::uint32_t previousDelta = static_cast<std::uint16_t>(state.PreviousDelta);
    std::uint32_t sample = static_cast<std::uint16_t>(state.Sample);

    // Flag 1: repeat the previous delta (1 bit). Flag 0: an explicit delta, the 10-bit
    // payload that follows (11 bits). The sum runs in 32 bits; its low 16 are the sample.
    const auto decodeOne = [&] {
        const std::uint64_t window = reader.Window;
        const auto repeat = static_cast<std::uint32_t>(static_cast<std::int64_t>(window) >> 63);
        previousDelta = (previousDelta & repeat) | kDeltas[window >> 53];
        reader.Count += repeat | ~10u; // 1 bit for a repeat, 11 for an explicit code
        const std::uint64_t afterExplicit = window << 11, afterRepeat = window << 1;
        reader.Window = static_cast<std::int64_t>(window) >= 0 ? afterExplicit : afterRepeat;
        sample += previousDelta;
        return sample & 0xFFFF;
    };

    for (std::uint8_t* out = decoded.data(); out != decoded.data() + kWacBlockBytes; out += 2 * kCodesPerRefill) {
        reader.Refill(source);
        for (std::size_t i = 0; i < kCodesPerRefill; i += 2) {
            const std::uint32_t first = decodeOne();
            StoreLE32(out + 2 * i, first | decodeOne() << 16);
        }
    }

    state.PreviousDelta = static_cast<std::int16_t>(static_cast<std::uint16_t>(previousDelta));
    state.Sample = static_cast<std::int16_t>(static_cast<std::uint16_t>(sample));
}

} // namespace packsmith
