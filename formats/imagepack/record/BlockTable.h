#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace packsmith {

// The blocks an image's index map refers to: up to 4096 entries of 4 pixels (16 bytes,
// pixel 0 leftmost, each pixel blue, green, red, alpha).
inline constexpr std::size_t kBlockEntryBytes = 16;
using BlockEntry = std::array<std::uint8_t, kBlockEntryBytes>;

// Decodes entries 0 to lastBlockIndex of the block table at record offset tableOffset into
// table: entry 0 raw, each later one coded plane by plane against the one before. In half-row
// mode every pixel is then shifted left by one bit as a 32-bit number. Entries above
// lastBlockIndex are left alone. Bytes past the record's end read as 0; the caller makes
// sure lastBlockIndex is below table.size().
void DecodeBlockTable(std::span<const std::uint8_t> record, std::uint64_t tableOffset, unsigned lastBlockIndex,
                      bool halfRows, std::span<BlockEntry> table);

} // namespace packsmith
