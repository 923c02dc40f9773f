#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "concurrency/StopToken.h"
#include "formats/imagepack/record/ImageRecord.h"

namespace packsmith {

enum class PictureLoss { Exact, Allowed };

struct CompressedPicture {
    std::vector<std::uint8_t> Record; // the whole record: header, index stream, block table
    bool Exact = true;                // the record decodes to the very pixels given
    // Peak signal-to-noise ratio in dB over every byte of every pixel (blue, green, red and
    // alpha alike): 10 log10(255^2 / mean squared error). Infinite when exact.
    double Psnr = 0;
};

// Compresses a picture into an image record that decodes to it exactly where its blocks
// allow (at most 4095 distinct blocks besides the all-zero one), else, when loss is allowed,
// to a picture of at most 4095 blocks chosen to stand for them; returns nullopt when loss is
// not allowed and the picture cannot be held exactly.
// pixels: height rows of width pixels of 4 bytes (blue, green, red, alpha), top row first,
// rows stride bytes apart. header: the bytes the record's header starts from; the picture
// size and the decoder's fields (HalfRows, IndexStreamSize, LastBlockIndex, BlockWidth,
// CodedWidth, CodedHeight) are set, every other byte is kept. Throws std::invalid_argument
// for pictures of more than 524,288 pixels. Keeps no state: threads may call it at once.
// Leaves with JobStopped when stop is raised.
std::optional<CompressedPicture> CompressPicture(std::uint32_t width, std::uint32_t height, const std::uint8_t* pixels,
                                                 std::size_t stride,
                                                 std::span<const std::uint8_t, image_record::kHeaderBytes> header,
                                                 PictureLoss loss, const StopToken& stop = {});

} // namespace packsmith
