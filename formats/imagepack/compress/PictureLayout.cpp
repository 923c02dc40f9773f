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
    // Map rows of rowsPerMapRow pixel rows, where the padded last one fits.
    auto add = [&](std::uint64_t blockWidth, std::uint64_t rowsPerMapRow) {
        const std::uint64_t wb = width * rowsPerMapRow / blockWidth;
        const std::uint64_t rows = (height + rowsPerMapRow - 1) / rowsPerMapRow;
        if (blockWidth * wb * rows <= kMaxPixels)
            layouts.push_back({static_cast<std::uint16_t>(blockWidth), static_cast<std::uint32_t>(wb),
                               static_cast<std::uint32_t>(rows), pixels});
    };
    if (pixels == 0) {
        layouts.push_back({4, 1, 1, 0}); // one block of padding
    } else if (width % 4 == 0) {
        add(4, 1);
    } else if (width % 2 == 0) {
        add(2, 1);
        add(4, 2);
    } else {
        add(2, 2);
        add(4, 4);
    }
    if (layouts.empty()) {
        // A power of two blocks a row: the padding then stays within the pixel buffer.
        const std::uint64_t wb = std::bit_floor(std::uint64_t{width} / 4 + 1);
        layouts.push_back({4, static_cast<std::uint32_t>(wb), static_cast<std::uint32_t>((pixels + 4 * wb - 1) / (4 * wb)),
                           pixels});
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
