#include "formats/imagepack/ImagePack.h"

#include <algorithm>

#include "core/ByteOrder.h"

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

} // namespace packsmith
