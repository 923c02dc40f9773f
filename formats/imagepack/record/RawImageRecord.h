#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "formats/imagepack/record/ImageRecord.h"

namespace packsmith {

// The uncompressed image record that a rebuilt pack stores for an edited image: the source
// record's 248-byte header with the tag "DDNH" and three zero bytes at 0 and the pixel byte
// count at 201 and at 205 (image_record::kPixelBytesAt and kIndexStreamSizeAt), then the
// pixels, bottom row first, 4 bytes each (blue, green, red, alpha). Its width and height
// fields keep the source's picture size.
namespace raw_image_record {
inline constexpr std::uint8_t kTag[7] = {'D', 'D', 'N', 'H', 0, 0, 0};
} // namespace raw_image_record

// Whether record is a raw image record: the tag, and the two byte counts agreeing with each
// other and with the record's length.
bool IsRawImageRecord(std::span<const std::uint8_t> record);
// The same test from the record's header and length alone.
bool IsRawImageRecordHeader(std::span<const std::uint8_t, image_record::kHeaderBytes> header,
                            std::uint64_t recordBytes);
// What is wrong with a raw record that stores pixelBytes of pixels under a header whose
// picture is width x height; "" when they agree, as no reader takes them otherwise.
std::string RawPixelsMismatch(std::uint32_t pixelBytes, std::uint32_t width, std::uint32_t height);

} // namespace packsmith
