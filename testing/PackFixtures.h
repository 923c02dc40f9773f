#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testing/ImageEncoder.h"
#include "testing/ImagePackBuilder.h"

namespace packsmith::test {

// A small picture whose pixels depend on seed, as a compressed record and as the bitmap it
// decodes to.
inline EncodedImage Picture(std::uint32_t seed, std::uint32_t width = 16, std::uint32_t height = 4)
{
    std::vector<std::uint32_t> pixels(std::size_t{width} * height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0x80000000u | ((seed * 40503u + static_cast<std::uint32_t>(i) * 2654435761u) & 0x7F7F7F);
    ImageEncoderOptions options;
    options.Seed = seed;
    return EncodeImageRecord(width, height, pixels, options);
}

// Pictures under the given stored names, each different (seeds 1, 2, ...).
inline std::vector<PackPicture> Named(const std::vector<std::string>& names)
{
    std::vector<PackPicture> pictures;
    for (std::size_t i = 0; i < names.size(); ++i)
        pictures.push_back({names[i], Picture(static_cast<std::uint32_t>(i) + 1).Record});
    return pictures;
}

} // namespace packsmith::test
