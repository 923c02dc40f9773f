#include "testing/ImagePackBuilder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "core/ByteOrder.h"
#include "formats/imagepack/ImagePack.h"

namespace packsmith {

std::vector<std::uint8_t> BuildImagePack(const std::vector<PackPicture>& pictures, std::uint32_t entrySize)
{
    using namespace image_pack;
    if (entrySize < kMinEntrySize)
        throw std::invalid_argument("entry records hold at least 251 bytes");
    const auto count = static_cast<std::uint32_t>(pictures.size());
    const std::uint32_t tableSize = count * entrySize;
    std::vector<std::uint8_t> pack(kHeaderBytes + tableSize);
    std::memcpy(pack.data(), "PKSMPACK", 8);
    StoreLE32(pack.data() + kTableSizeAt, tableSize);
    StoreLE32(pack.data() + kEntryCountAt, count);
    StoreLE32(pack.data() + kEntrySizeAt, entrySize);

    for (std::uint32_t i = 0; i < count; ++i) {
        const PackPicture& picture = pictures[i];
        if (picture.Name.size() >= kNameBytes)
            throw std::invalid_argument("a stored name holds at most 242 characters");
        std::uint8_t* entry = pack.data() + kHeaderBytes + std::size_t{i} * entrySize;
        std::copy(picture.Name.begin(), picture.Name.end(), entry);
        StoreLE32(entry + kDataOffsetAt, static_cast<std::uint32_t>(pack.size()));
        StoreLE32(entry + kDataLengthAt, static_cast<std::uint32_t>(picture.Record.size()));
        pack.insert(pack.end(), picture.Record.begin(), picture.Record.end());
    }
    return pack;
}

} // namespace packsmith
