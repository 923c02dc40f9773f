#pragma once

#include <cstdint>
#include <span>

namespace packsmith::test {

// Plain, unoptimised decoders for the two audio formats, written straight from the format
// rules so the fast production decoders can be checked against them. Both read bits past
// the end of their input as 0 and never touch a byte outside it.

// One wave block: 256 samples into out512 (512 bytes, little-endian), starting from and
// updating previousDelta and sample.
void ReferenceDecodeWacBlock(std::span<const std::uint8_t> coded, std::uint8_t* out512, std::int16_t& previousDelta,
                             std::int16_t& sample);

// One music chunk into output (its decoded size). Bytes the codes do not reach are 0.
void ReferenceDecodeWasChunk(std::span<const std::uint8_t> coded, std::span<std::uint8_t> output);

} // namespace packsmith::test
