#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "concurrency/StopToken.h"
#include "formats/wave/WaveHeader.h"

namespace packsmith {

struct WasEncoderOptions {
    // Triangular dither of one 12-bit step, added before rounding: quiet passages then keep
    // a steady hiss instead of distortion that follows the signal. Off by default, which
    // keeps samples already on the 12-bit grid exact.
    bool Dither = false;
    // Where the dither's noise starts; the same seed gives the same file.
    std::uint32_t DitherSeed = 1;
};

// Codes samples as one chunk: each sample quantised to its top 12 bits, then sent in the
// fewest bits: as a repeat where it equals the one before, as a table reference where the
// decoder's table holds it, and as a literal otherwise. The table is followed code by code
// as the decoder keeps it. Its decoded size is two bytes per sample.
std::vector<std::uint8_t> EncodeWasChunk(std::span<const std::int16_t> samples);

// The same with options; decoded, unless empty, has a place for every sample and receives
// what the decoder will produce (with dither, not QuantiseWasSample of the input).
std::vector<std::uint8_t> EncodeWasChunk(std::span<const std::int16_t> samples, const WasEncoderOptions& options,
                                         std::span<std::int16_t> decoded = {});

// The sample the decoder gives back for one: the nearest with its low 4 bits clear
// (halfway rounds away from 0; the top of the range, above 32752, to 32752).
std::int16_t QuantiseWasSample(std::int16_t sample);

// A whole packed music file: 8 unused bytes, the wave header, then chunks of
// samplesPerChunk samples (the last may be shorter), each behind its two sizes. Throws
// std::invalid_argument for samplesPerChunk 0 and std::length_error for more samples than
// the header's 32-bit sizes can count.
std::vector<std::uint8_t> EncodeWasFile(std::span<const std::int16_t> samples, WaveFormat format = {},
                                        std::size_t samplesPerChunk = 4096, const WasEncoderOptions& options = {});

// A whole packed music file whose leading 8 bytes and 44-byte wave header are given instead
// of made afresh, for a packer that rewrites a file it read: both are copied as they are
// (keeping the header's sizes true to the samples is the caller's part). Chunks as above.
std::vector<std::uint8_t> EncodeWasFile(std::span<const std::int16_t> samples,
                                        std::span<const std::uint8_t, kWavePrefixBytes> prefix,
                                        std::span<const std::uint8_t, kWaveHeaderBytes> waveHeader,
                                        std::size_t samplesPerChunk = 4096, const WasEncoderOptions& options = {});

// The same file a piece at a time, for a packer that writes it as it goes. First the 8 + 44
// bytes in front of the chunks of sampleCount samples (the checks of EncodeWasFile); then
// the chunks of consecutive pieces of the samples, appended to out with their sizes: each
// piece a whole number of chunks but the last, firstChunk the index of its first chunk in
// the file. The chunks do not depend on each other, so pieces may be coded side by side.
std::array<std::uint8_t, kWaveDataAt> WasFileFront(std::size_t sampleCount,
                                                   std::span<const std::uint8_t, kWavePrefixBytes> prefix,
                                                   std::span<const std::uint8_t, kWaveHeaderBytes> waveHeader,
                                                   std::size_t samplesPerChunk);
// Leaves with JobStopped when stop is raised, also inside a long chunk.
void EncodeWasChunks(std::span<const std::int16_t> samples, std::size_t firstChunk, std::size_t samplesPerChunk,
                     const WasEncoderOptions& options, std::vector<std::uint8_t>& out, const StopToken& stop = {});

} // namespace packsmith
