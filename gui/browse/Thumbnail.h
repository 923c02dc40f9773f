#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace packsmith {

class Bitmap32;

// A picture made small for a grid of many, or the reason there is none.
struct Thumbnail {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    // Height rows of Width pixels, top row first, 4 bytes each: blue, green and red
    // premultiplied by alpha, then alpha. Premultiplied, a grid draws it without converting.
    std::vector<std::uint8_t> Pixels;
    std::string Problem; // why the picture cannot be had; "" when it could

    // The bytes it keeps in memory, near enough.
    std::size_t Cost() const { return sizeof(Thumbnail) + Pixels.size() + Problem.size(); }
};

struct ThumbnailExtent {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
};

// The size of the thumbnail of a picture: the picture's own when it fits in maxSide x
// maxSide, else shrunk to fit with its proportions kept (at least 1 pixel either way).
ThumbnailExtent ThumbnailSize(std::uint32_t width, std::uint32_t height, std::uint32_t maxSide);

// The thumbnail of picture: every thumbnail pixel the average of the picture pixels its
// area covers, weighted by their alpha, so transparent pixels give no colour to their
// neighbours.
Thumbnail MakeThumbnail(const Bitmap32& picture, std::uint32_t maxSide);

} // namespace packsmith
