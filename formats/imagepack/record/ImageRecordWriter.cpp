#include "formats/imagepack/record/ImageRecordWriter.h"

#include "core/ByteOrder.h"

namespace packsmith {

using namespace image_record;

std::vector<std::uint8_t> WriteImageRecord(std::span<const std::uint8_t, kHeaderBytes> header,
                                           const ImageHeader& fields, std::span<const std::uint8_t> indexStream,
                                           const BlockEntry& entry0, std::span<const std::uint8_t> tableStream)
{
    std::vector<std::uint8_t> record;
    record.reserve(kHeaderBytes + indexStream.size() + entry0.size() + tableStream.size());
    record.assign(header.begin(), header.end());
    std::uint8_t* h = record.data();
    StoreLE32(h + kPictureWidthAt, fields.PictureWidth);
    StoreLE32(h + kPictureHeightAt, fields.PictureHeight);
    h[kHalfRowsAt] = fields.HalfRows;
    StoreLE32(h + kIndexStreamSizeAt, static_cast<std::uint32_t>(indexStream.size()));
    StoreLE16(h + kLastBlockIndexAt, fields.LastBlockIndex);
    StoreLE16(h + kBlockWidthAt, fields.BlockWidth);
    StoreLE32(h + kCodedWidthAt, static_cast<std::uint32_t>(fields.CodedWidth));
    StoreLE32(h + kCodedHeightAt, static_cast<std::uint32_t>(fields.CodedHeight));
    record.insert(record.end(), indexStream.begin(), indexStream.end());
    record.insert(record.end(), entry0.begin(), entry0.end());
    record.insert(record.end(), tableStream.begin(), tableStream.end());
    return record;
}

} // namespace packsmith
