#include "decomp/WacDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "decomp/ByteOrder.h"

namespace packsmith {

namespace {

// The codes are read through 64-bit big-endian windows; the last window of a block may
// start at its last needed byte, so a block is read in place only when 8 bytes follow that.
constexpr std::size_t kPaddedBytes = kWacMaxCodedBytes + 8;

// Five codes take at most 55 bits, and a window reloaded at any bit position holds at least
// 57 valid ones, so a window serves five codes before it is reloaded.
constexpr int kCodesPerWindow = 5;

} // namespace

void DecodeWacBlock(std::span<const std::uint8_t> coded, std::span<std::uint8_t, kWacBlockBytes> decoded,
                    WacDecoderState& state)
{
    std::array<std::uint8_t, kPaddedBytes> padded;
    const std::uint8_t* bytes = coded.data();
    if (coded.size() < kPaddedBytes) {
        const std::size_t n = coded.size();
        if (n > 0)
            std::memcpy(padded.data(), coded.data(), n);
        std::memset(padded.data() + n, 0, kPaddedBytes - n);
        bytes = padded.data();
    }

    std::uint32_t previousDelta = static_cast<std::uint16_t>(state.PreviousDelta);
    std::uint32_t sample = static_cast<std::uint16_t>(state.Sample);
    std::uint8_t* out = decoded.data();
    std::size_t position = 3; // the first three bits of a block are never read

    for (std::size_t i = 0; i < kWacSamplesPerBlock;) {
        std::uint64_t window = LoadBE64(bytes + position / 8) << (position % 8);
        const std::size_t codes = std::min<std::size_t>(kCodesPerWindow, kWacSamplesPerBlock - i);
        for (std::size_t k = 0; k < codes; ++k, ++i) {
            // Flag 1: repeat the previous delta (1 bit). Flag 0: a 10-bit sign-and-magnitude
            // payload scaled by 64 follows (11 bits).
            const bool isExplicit = (window >> 63) == 0;
            const auto payload = static_cast<std::uint32_t>(window >> 53) & 0x3FF;
            const std::uint32_t magnitude = payload & 0x1FF;
            const std::uint32_t delta = ((payload & 0x200) ? 0u - magnitude : magnitude) << 6;
            previousDelta = isExplicit ? delta : previousDelta;
            const unsigned length = isExplicit ? 11 : 1;
            window <<= length;
            position += length;
            sample += previousDelta;
            StoreLE16(out, static_cast<std::uint16_t>(sample));
            out += 2;
        }
    }

    state.PreviousDelta = static_cast<std::int16_t>(static_cast<std::uint16_t>(previousDelta));
    state.Sample = static_cast<std::int16_t>(static_cast<std::uint16_t>(sample));
}

} // namespace packsmith
