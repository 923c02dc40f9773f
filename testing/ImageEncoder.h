#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/imagepack/record/IndexMapCoder.h"

namespace packsmith {

struct ImageEncoderOptions {
    bool HalfRows = false;
    int BlockWidth = 4;                // 4 or 2
    IndexCode Prefer = IndexCode::Any; // the code kind to use wherever it reproduces the right index
    std::uint32_t Seed = 1;            // choice among the other codes that reproduce the right index is random
};

struct EncodedImage {
    std::vector<std::uint8_t> Record; // a whole compressed image record
    // What the decoder must produce: height scan lines of width x 4 bytes, top line first.
    std::vector<std::uint8_t> Expected;
};

// Codes a picture as a compressed image record. pixels: width x height 32-bit pixel values
// (blue in bits 0-7, alpha in 24-31), top row first. width must be a multiple of BlockWidth,
// the picture at most 524,288 pixels, and the coded rows may hold at most 4095 distinct
// blocks besides the all-zero one, which the map codes as index 0. In half-row mode only the
// coded rows are taken from pixels; Expected then holds the interpolated rows between them,
// and the coded pixels with bit 0 cleared (the table stores them halved). Throws
// std::invalid_argument for pictures it cannot code.
EncodedImage EncodeImageRecord(std::uint32_t width, std::uint32_t height, std::span<const std::uint32_t> pixels,
                               const ImageEncoderOptions& options);

} // namespace packsmith
