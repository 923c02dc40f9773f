#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "decomp/WacDecoder.h"
#include "encode/WaveHeader.h"

namespace packsmith {

// Codes 256 samples as one block, choosing per sample between repeating the previous delta
// and the nearest explicit delta. The choice is made against the decoder's own running
// sample (state), so the error never adds up. Returns the block's coded bytes.
std::vector<std::uint8_t> EncodeWacBlock(std::span<const std::int16_t, kWacSamplesPerBlock> samples,
                                         WacDecoderState& state);

// A whole packed wave file: block count, the wave header, and the blocks, each behind its
// 16-bit size. The samples are padded to a whole block with the last one.
std::vector<std::uint8_t> EncodeWacFile(std::span<const std::int16_t> samples, WaveFormat format = {});

} // namespace packsmith
