#include "formats/imagepack/record/RawImageRecord.h"

#include <cstring>

#include "core/ByteOrder.h"

namespace packsmith {

bool IsRawImageRecord(std::span<const std::uint8_t> record)
{
    return record.size() >= image_record::kHeaderBytes &&
           IsRawImageRecordHeader(record.first<image_record::kHeaderBytes>(), record.size());
}

bool IsRawImageRecordHeader(std::span<const std::uint8_t, image_record::kHeaderBytes> header,
                            std::uint64_t recordBytes)
{
    using namespace image_record;
    if (std::memcmp(header.data(), raw_image_record::kTag, sizeof raw_image_record::kTag) != 0)
        return false;
    const std::uint32_t pixelBytes = LoadLE32(header.data() + kPixelBytesAt);
    return pixelBytes == LoadLE32(header.data() + kIndexStreamSizeAt) &&
           kHeaderBytes + std::uint64_t{pixelBytes} == recordBytes;
}

std::string RawPixelsMismatch(std::uint32_t pixelBytes, std::uint32_t width, std::uint32_t height)
{
    const std::uint64_t wanted = std::uint64_t{width} * height * 4;
    if (pixelBytes == wanted)
        return {};
    return "it stores " + std::to_string(pixelBytes) + " bytes of pixels, not the " + std::to_string(wanted) +
           " of a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

} // namespace packsmith
