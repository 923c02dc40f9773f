#pragma once

#include <cstddef>

namespace packsmith {

// The two packed wave formats store the whole 44-byte header of their output wave file at
// offset 8; the first 8 bytes are the packed format's own (the first 4 the block count of
// a ".wac"). The coded samples follow the header.
inline constexpr std::size_t kWavePrefixBytes = 8;
inline constexpr std::size_t kWaveHeaderBytes = 44;
inline constexpr std::size_t kWaveDataAt = kWavePrefixBytes + kWaveHeaderBytes;

// Where the 44-byte header of a 16-bit PCM wave file keeps its fields. All numbers are
// little-endian.
namespace wave_header {
inline constexpr std::size_t kRiffSizeAt = 4;
inline constexpr std::size_t kWaveTagAt = 8; // "WAVE", then "fmt "
inline constexpr std::size_t kFormatSizeAt = 16;
inline constexpr std::size_t kFormatTagAt = 20;
inline constexpr std::size_t kChannelsAt = 22;
inline constexpr std::size_t kSampleRateAt = 24;
inline constexpr std::size_t kByteRateAt = 28;
inline constexpr std::size_t kBlockAlignAt = 32;
inline constexpr std::size_t kBitsPerSampleAt = 34;
inline constexpr std::size_t kDataTagAt = 36;
inline constexpr std::size_t kDataSizeAt = 40;
} // namespace wave_header

} // namespace packsmith
