#pragma once

#include <cstddef>

namespace packsmith {

// The two packed wave formats store the whole 44-byte header of their output wave file at
// offset 8; the first 8 bytes are the packed format's own (the first 4 the block count of
// a ".wac"). The coded samples follow the header.
inline constexpr std::size_t kWavePrefixBytes = 8;
inline constexpr std::size_t kWaveHeaderBytes = 44;
inline constexpr std::size_t kWaveDataAt = kWavePrefixBytes + kWaveHeaderBytes;

} // namespace packsmith
