#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace packsmith {

// The layout of an image record: a 248-byte header, the index stream from offset 248, and
// the block table after it. All numbers are little-endian and the header is byte-packed.
namespace image_record {
inline constexpr std::size_t kHeaderBytes = 248;
inline constexpr std::size_t kPictureWidthAt = 17;
inline constexpr std::size_t kPictureHeightAt = 21;
inline constexpr std::size_t kHalfRowsAt = 196;
inline constexpr std::size_t kPixelBytesAt = 201; // only raw records use it
inline constexpr std::size_t kIndexStreamSizeAt = 205;
inline constexpr std::size_t kLastBlockIndexAt = 209;
inline constexpr std::size_t kBlockWidthAt = 211;
inline constexpr std::size_t kCodedWidthAt = 213;
inline constexpr std::size_t kCodedHeightAt = 217;

// Capacities of the decoder's working memory.
inline constexpr std::size_t kMaxBlocks = 4096;           // block table entries
inline constexpr std::size_t kMaxPixels = 524288;         // pixel buffer, 2 MB
inline constexpr std::size_t kMaxMapIndices = 1048576;    // index map
} // namespace image_record

struct ImageHeader {
    std::uint32_t PictureWidth = 0;
    std::uint32_t PictureHeight = 0;
    std::uint8_t HalfRows = 0;
    std::uint32_t IndexStreamSize = 0;
    std::uint16_t LastBlockIndex = 0;
    std::uint16_t BlockWidth = 4;
    std::int32_t CodedWidth = 0;
    std::int32_t CodedHeight = 0;
};

// A record that cannot be decoded without leaving the decoder's working memory or without
// end. what() says what is wrong with it; the caller adds where the record came from.
class ImageRecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the header fields; a record shorter than its header is an ImageRecordError.
ImageHeader ReadImageHeader(std::span<const std::uint8_t> record);

// Whether a picture of width x height pixels fits the decoder (at most 524,288 pixels, and
// no side longer than that).
bool PictureFits(std::uint32_t width, std::uint32_t height);

} // namespace packsmith
