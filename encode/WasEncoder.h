#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "encode/WaveHeader.h"

namespace packsmith {

// Codes samples as one chunk: each sample quantised to its top 12 bits, then sent as a
// repeat where it equals the one before, as a table reference where the table holds it,
// and as a literal otherwise. Its decoded size is two bytes per sample.
std::vector<std::uint8_t> EncodeWasChunk(std::span<const std::int16_t> samples);

// The sample the decoder gives back for one: the nearest with its low 4 bits clear.
std::int16_t QuantiseWasSample(std::int16_t sample);

// A whole packed music file: 8 unused bytes, the wave header, then chunks of
// samplesPerChunk samples (the last may be shorter), each behind its two sizes.
std::vector<std::uint8_t> EncodeWasFile(std::span<const std::int16_t> samples, WaveFormat format = {},
                                        std::size_t samplesPerChunk = 4096);

} // namespace packsmith
