#include "formathandlers/layout/ImagePack.h"

#include <algorithm>
#include <cstring>

#include "decomp/ByteOrder.h"
#include "decomp/ImageRecord.h"

namespace packsmith {

PackHeader ParsePackHeader(std::span<const std::uint8_t, image_pack::kHeaderBytes> header)
{
    using namespace image_pack;
    return {LoadLE32(header.data() + kTableSizeAt), LoadLE32(header.data() + kEntryCountAt),
            LoadLE32(header.data() + kEntrySizeAt)};
}

PackEntry ParsePackEntry(std::span<const std::uint8_t> record)
{
    using namespace image_pack;
    const auto nameBytes = record.first(kNameBytes);
    const auto end = std::find(nameBytes.begin(), nameBytes.end(), 0);
    PackEntry entry;
    entry.Name.assign(nameBytes.begin(), end);
    entry.DataOffset = LoadLE32(record.data() + kDataOffsetAt);
    entry.DataLength = LoadLE32(record.data() + kDataLengthAt);
    return entry;
}

bool IsRawImageRecord(std::span<const std::uint8_t> record)
{
    return record.size() >= image_record::kHeaderBytes &&
           IsRawImageRecordHeader(record.first<image_record::kHeaderBytes>(), record.size());
}

bool IsRawImageRecordHeader(std::span<const std::uint8_t, image_record::kHeaderBytes> header,
                            std::uint64_t recordBytes)
{
    using namespace raw_image_record;
    if (std::memcmp(header.data(), kTag, sizeof kTag) != 0)
        return false;
    const std::uint32_t pixelBytes = LoadLE32(header.data() + kPixelBytesAt);
    return pixelBytes == LoadLE32(header.data() + kPixelBytesAgainAt) &&
           image_record::kHeaderBytes + std::uint64_t{pixelBytes} == recordBytes;
}

} // namespace packsmith
