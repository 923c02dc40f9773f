#include "formats/imagepack/record/ImageRecord.h"

#include "core/ByteOrder.h"

namespace packsmith {

using namespace image_record;

ImageHeader ReadImageHeader(std::span<const std::uint8_t> record)
{
    if (record.size() < kHeaderBytes)
        throw ImageRecordError("the record is shorter than its " + std::to_string(kHeaderBytes) + "-byte header");
    const std::uint8_t* h = record.data();
    ImageHeader header;
    header.PictureWidth = LoadLE32(h + kPictureWidthAt);
    header.PictureHeight = LoadLE32(h + kPictureHeightAt);
    header.HalfRows = h[kHalfRowsAt];
    header.IndexStreamSize = LoadLE32(h + kIndexStreamSizeAt);
    header.LastBlockIndex = LoadLE16(h + kLastBlockIndexAt);
    header.BlockWidth = LoadLE16(h + kBlockWidthAt);
    header.CodedWidth = static_cast<std::int32_t>(LoadLE32(h + kCodedWidthAt));
    header.CodedHeight = static_cast<std::int32_t>(LoadLE32(h + kCodedHeightAt));
    return header;
}

bool PictureFits(std::uint32_t width, std::uint32_t height)
{
    // A side longer than the whole is a damaged header too, even with no pixels: a reader
    // would walk billions of empty rows.
    return std::uint64_t{width} * height <= kMaxPixels && width <= kMaxPixels && height <= kMaxPixels;
}

} // namespace packsmith
