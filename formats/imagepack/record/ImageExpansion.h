#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/imagepack/record/BlockTable.h"

namespace packsmith {

// Pixel row p of a picture (row 0 the bottom) at First + p x Step bytes.
struct PixelRows {
    std::uint8_t* First = nullptr;
    std::ptrdiff_t Step = 0;

    std::uint8_t* Row(std::size_t p) const { return First + static_cast<std::ptrdiff_t>(p) * Step; }
};

// What index 0 puts in the rows: nothing, so that they keep what they hold (a cleared
// buffer, whose rows may overlap), or zero pixels (rows that nothing else writes).
enum class ZeroBlocks { Skip, Draw };

// The blocks that count indices name, one after the other from to. blockBytes is 16 or 8:
// the whole entry or its first two pixels. Every index is at most 4095.
void ExpandBlocks(const std::uint16_t* indices, std::size_t count, std::span<const BlockEntry> table,
                  std::size_t blockBytes, ZeroBlocks zero, std::uint8_t* to);

// Half-row mode: map rows into the even pixel rows (and the last one when height is even),
// and the odd rows between them interpolated under the blocks of the row above: each pair
// of pixels the sum of the pixels below and above as two 32-bit halves, halved as one
// 64-bit number. wb blocks a map row, height the coded height (at least 1).
void ExpandHalfRows(const std::uint16_t* map, std::size_t wb, std::int64_t height, std::span<const BlockEntry> table,
                    std::size_t blockBytes, ZeroBlocks zero, const PixelRows& rows);

} // namespace packsmith
