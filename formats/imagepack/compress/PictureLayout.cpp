#include "formats/imagepack/compress/PictureLayout.h"

#include <bit>
#include <stdexcept>

#include "core/ByteOrder.h"
#include "formats/imagepack/record/ImageRecord.h"

namespace packsmith {

using image_record::kMaxPixels;

std::vector<PictureLayout> PictureLayouts(std::uint32_t width, std::uint32_t height)
{
    const std::uint64_t pixels = std::uint64_t{width} * height;
    if (pixels > kMaxPixels)
        throw std::invalid_argument("a picture of " + std::to_string(width) + " x " + std::to_string(height) +
                                    " pixels is larger than " + std::to_string(kMaxPixels) + " pixels");
    std::vector<PictureLayout> layouts;
    if (pixels == 0) {
        layouts.push_back({4, 1, 1, 0}); // one block of padding
        return layouts;
    }
    // For each block width, map rows of as few pixel rows as hold whole blocks, where the
    // padded last one fits the decoder's pixel buffer; else map rows of a power of two
    // blocks with no particular alignment, whose padding then stays within the buffer.
    for (const std::uint64_t blockWidth : {2u, 4u}) {
        std::uint64_t rowsPerMapRow = 1;
        while (width * rowsPerMapRow % blockWidth != 0)
            rowsPerMapRow *= 2;
        const std::uint64_t wb = width * rowsPerMapRow / blockWidth;
        const std::uint64_t rows = (height + rowsPerMapRow - 1) / rowsPerMapRow;
        if (blockWidth * wb * rows <= kMaxPixels) {
            layouts.push_back({static_cast<std::uint16_t>(blockWidth), static_cast<std::uint32_t>(wb),
                               static_cast<std::uint32_t>(rows), pixels});
        } else {
            const std::uint64_t streamWb = std::bit_floor(std::uint64_t{width} / blockWidth + 1);
            layouts.push_back({static_cast<std::uint16_t>(blockWidth), static_cast<std::uint32_t>(streamWb),
                               static_cast<std::uint32_t>((pixels + blockWidth * streamWb - 1) / (blockWidth * streamWb)),
                               pixels});
        }
    }
    return layouts;
}

void GatherBlocks(const PictureLayout& layout, std::uint32_t width, std::uint32_t height, const std::uint8_t* pixels,
                  std::size_t stride, std::vector<PixelBlock>& blocks)
{
    blocks.assign(layout.PictureBlocks(), PixelBlock{});
    const unsigned blockWidth = layout.BlockWidth;
    // The stream position s = (pixel row from the bottom) x width + x falls in block s / B.
    std::size_t block = 0;
    unsigned slot = 0;
    for (std::uint32_t r = 0; r < height; ++r) {
        const std::uint8_t* row = pixels + std::size_t{height - 1 - r} * stride;
        for (std::uint32_t x = 0; x < width; ++x) {
            blocks[block][slot] = LoadLE32(row + std::size_t{x} * 4);
            if (++slot == blockWidth) {
                slot = 0;
                ++block;
            }
        }
    }
}

} // namespace packsmith
