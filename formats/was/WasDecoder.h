#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "concurrency/StopToken.h"

namespace packsmith {

// The most decoded bytes that coded bytes of a chunk can stand for: every code at least 2
// bits long and producing one 16-bit sample, plus the byte of a straddling sample.
inline constexpr std::uint64_t MaxWasDecodedBytes(std::uint64_t codedBytes) { return 8 * codedBytes + 1; }

// Decodes one coded chunk of a packed music file into output, whose size is the chunk's
// decoded size: samples beyond it are dropped (an odd size takes the low byte of the sample
// that straddles its end), and bytes the codes do not reach are 0. Bits a code needs past
// the chunk's end read as 0; nothing is read outside coded. Each call starts afresh. A
// large chunk is decoded a piece at a time, looking at stop between the pieces; it leaves
// with JobStopped when stop is raised.
void DecodeWasChunk(std::span<const std::uint8_t> coded, std::span<std::uint8_t> output, const StopToken& stop = {});

} // namespace packsmith
