#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/wac/WacDecoder.h"
#include "formats/wave/WaveHeader.h"

namespace packsmith {

// Codes 256 samples as one block at the least error the format allows. Every decoded
// sample is a multiple of 64, and the running sum wraps around, so from any sample an
// explicit code reaches every multiple of 64 but the one 32768 away: each sample becomes the
// multiple of 64 nearest to it (-32768..32704), except where that one is 32768 away from the
// sample before, when it becomes the nearest reachable one, 64 further off. A repeat is
// sent wherever the repeated delta lands there, which is also the fewest bits for those
// samples. The choice is made against the decoder's own running sample (state), so the
// error never adds up. Returns the block's coded bytes; samples already on multiples of 64
// (a block that came from this format) come back exactly.
std::vector<std::uint8_t> EncodeWacBlock(std::span<const std::int16_t, kWacSamplesPerBlock> samples,
                                         WacDecoderState& state);

// The same, also giving the 256 samples the decoder will produce from the codes.
std::vector<std::uint8_t> EncodeWacBlock(std::span<const std::int16_t, kWacSamplesPerBlock> samples,
                                         WacDecoderState& state, std::span<std::int16_t, kWacSamplesPerBlock> decoded);

// A whole packed wave file: block count, the wave header, and the blocks, each behind its
// 16-bit size. The samples are padded to a whole block with the last one. Throws
// std::length_error for more samples than the header's 32-bit sizes can count.
std::vector<std::uint8_t> EncodeWacFile(std::span<const std::int16_t> samples, WaveFormat format = {});

// A whole packed wave file whose leading 8 bytes and 44-byte wave header are given instead
// of made afresh, for a packer that rewrites a file it read: the block count goes over
// prefix bytes 0..3, bytes 4..7 and the header are copied as they are (keeping the header's
// sizes true to the samples is the caller's part). Blocks as above.
std::vector<std::uint8_t> EncodeWacFile(std::span<const std::int16_t> samples,
                                        std::span<const std::uint8_t, kWavePrefixBytes> prefix,
                                        std::span<const std::uint8_t, kWaveHeaderBytes> waveHeader);

// The same file a piece at a time, for a packer that writes it as it goes. First the 8 + 44
// bytes in front of the blocks for sampleCount samples (the checks of EncodeWacFile); then
// the blocks of consecutive pieces of the samples, each piece a whole number of blocks but
// the last, appended to out with their sizes. state runs on from piece to piece, so the
// pieces are coded one after the other, in order.
std::array<std::uint8_t, kWaveDataAt> WacFileFront(std::size_t sampleCount,
                                                   std::span<const std::uint8_t, kWavePrefixBytes> prefix,
                                                   std::span<const std::uint8_t, kWaveHeaderBytes> waveHeader);
void EncodeWacBlocks(std::span<const std::int16_t> samples, WacDecoderState& state, std::vector<std::uint8_t>& out);

} // namespace packsmith
