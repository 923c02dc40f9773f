#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace packsmith {

// The pixels of one block, each the 32-bit little-endian value of its bytes (blue lowest);
// pixels a block does not have are zero.
using PixelBlock = std::array<std::uint32_t, 4>;

// How a picture is cut into blocks. The decoder fills its pixel buffer block after block and
// reads the bitmap out of it scan line by scan line from the bottom, so the picture is laid
// as one stream of pixels, bottom row first, cut into blocks of BlockWidth pixels, Wb blocks
// a map row. Where a map row holds a whole number of pixel rows the row below in the map is
// the same place rows lower in the picture, which the map's codes live on.
struct PictureLayout {
    std::uint16_t BlockWidth = 4;   // 2 or 4
    std::uint32_t BlocksPerRow = 1; // Wb
    std::uint32_t Rows = 1;         // map rows, the coded height
    std::uint64_t Pixels = 0;       // the picture's pixels; blocks past them are padding

    std::uint32_t CodedWidth() const { return BlockWidth * BlocksPerRow; }
    std::size_t MapSize() const { return std::size_t{BlocksPerRow} * Rows; }
    // Blocks that hold at least one pixel of the picture; the rest of the map is padding.
    std::size_t PictureBlocks() const { return static_cast<std::size_t>((Pixels + BlockWidth - 1) / BlockWidth); }
};

// The layouts worth trying for a picture: one in 2-pixel blocks, then one in 4-pixel blocks.
// Each has map rows of as few pixel rows as hold a whole number of its blocks (one, two or
// four), so that the map's row below is the same place rows lower in the picture; where the
// padded last map row would not fit the decoder's pixel buffer, map rows of no particular
// alignment. 2-pixel blocks repeat more often and may hold a picture exactly where 4-pixel
// ones do not; 4-pixel blocks code quantised pictures far smaller, so the last layout is the
// one for a picture that cannot be held exactly. Throws std::invalid_argument for pictures
// of more than 524,288 pixels.
std::vector<PictureLayout> PictureLayouts(std::uint32_t width, std::uint32_t height);

// The picture's blocks in map order, as far as it has pixels (PictureBlocks()); pixels past
// the picture's end are zero. pixels: height rows of width pixels of 4 bytes (blue, green,
// red, alpha), top row first, rows stride bytes apart.
void GatherBlocks(const PictureLayout& layout, std::uint32_t width, std::uint32_t height, const std::uint8_t* pixels,
                  std::size_t stride, std::vector<PixelBlock>& blocks);

} // namespace packsmith
