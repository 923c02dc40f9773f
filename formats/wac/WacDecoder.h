#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace packsmith {

inline constexpr std::size_t kWacSamplesPerBlock = 256;
inline constexpr std::size_t kWacBlockBytes = 2 * kWacSamplesPerBlock;
// A block's codes never need more than 3 + 256 x 11 bits.
inline constexpr std::size_t kWacMaxCodedBytes = (3 + 256 * 11 + 7) / 8;

// What links one block of a packed wave file to the next: the last explicit delta and the
// last sample. Both start at 0 for each file.
struct WacDecoderState {
    std::int16_t PreviousDelta = 0;
    std::int16_t Sample = 0;
};

// Decodes one coded block into exactly 256 little-endian 16-bit samples. Bits the codes
// need past the block's end read as 0; nothing is read outside coded.
void DecodeWacBlock(std::span<const std::uint8_t> coded, std::span<std::uint8_t, kWacBlockBytes> decoded,
                    WacDecoderState& state);

} // namespace packsmith
