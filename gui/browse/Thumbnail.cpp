#include "gui/browse/Thumbnail.h"

#include <algorithm>

#include "formats/tga/Bitmap32.h"

namespace packsmith {

namespace {

std::uint32_t Premultiplied(std::uint32_t channel, std::uint32_t alpha) { return (channel * alpha + 127) / 255; }

// For each thumbnail column (or row), the first picture column (row) it covers, then the
// end of the last: n + 1 borders, each cell at least one picture pixel wide.
std::vector<std::uint32_t> Borders(std::uint32_t pictureSize, std::uint32_t thumbnailSize)
{
    std::vector<std::uint32_t> borders(thumbnailSize + 1);
    for (std::uint32_t i = 0; i <= thumbnailSize; ++i)
        borders[i] = static_cast<std::uint32_t>(std::uint64_t{i} * pictureSize / thumbnailSize);
    return borders;
}

} // namespace

ThumbnailExtent ThumbnailSize(std::uint32_t width, std::uint32_t height, std::uint32_t maxSide)
{
    if (width == 0 || height == 0 || maxSide == 0)
        return {};
    if (width <= maxSide && height <= maxSide)
        return {width, height};
    const std::uint32_t longer = std::max(width, height);
    const auto scaled = [&](std::uint32_t side) {
        return std::max<std::uint32_t>(1, static_cast<std::uint32_t>((std::uint64_t{side} * maxSide + longer / 2) / longer));
    };
    return {scaled(width), scaled(height)};
}

Thumbnail MakeThumbnail(const Bitmap32& picture, std::uint32_t maxSide)
{
    const ThumbnailExtent size = ThumbnailSize(picture.Width(), picture.Height(), maxSide);
    Thumbnail thumbnail;
    thumbnail.Width = size.Width;
    thumbnail.Height = size.Height;
    thumbnail.Pixels.resize(std::size_t{size.Width} * size.Height * 4);
    if (thumbnail.Pixels.empty())
        return thumbnail;

    const std::vector<std::uint32_t> columns = Borders(picture.Width(), size.Width);
    const std::vector<std::uint32_t> rows = Borders(picture.Height(), size.Height);
    // Sums of premultiplied blue, green, red and of alpha for one thumbnail row. A cell
    // covers at most 524,288 pixels of 255, which a 32-bit sum holds.
    std::vector<std::uint32_t> sums(std::size_t{size.Width} * 4);
    std::uint8_t* out = thumbnail.Pixels.data();
    for (std::uint32_t ty = 0; ty < size.Height; ++ty) {
        std::fill(sums.begin(), sums.end(), 0);
        for (std::uint32_t y = rows[ty]; y < rows[ty + 1]; ++y) {
            const std::uint8_t* in = picture.Row(y);
            for (std::uint32_t tx = 0; tx < size.Width; ++tx) {
                std::uint32_t* sum = &sums[std::size_t{tx} * 4];
                for (std::uint32_t x = columns[tx]; x < columns[tx + 1]; ++x) {
                    const std::uint8_t* pixel = in + std::size_t{x} * 4;
                    const std::uint32_t alpha = pixel[3];
                    sum[0] += Premultiplied(pixel[0], alpha);
                    sum[1] += Premultiplied(pixel[1], alpha);
                    sum[2] += Premultiplied(pixel[2], alpha);
                    sum[3] += alpha;
                }
            }
        }
        const std::uint32_t cellHeight = rows[ty + 1] - rows[ty];
        for (std::uint32_t tx = 0; tx < size.Width; ++tx) {
            const std::uint32_t count = (columns[tx + 1] - columns[tx]) * cellHeight;
            for (int c = 0; c < 4; ++c)
                *out++ = static_cast<std::uint8_t>((sums[std::size_t{tx} * 4 + c] + count / 2) / count);
        }
    }
    return thumbnail;
}

} // namespace packsmith
