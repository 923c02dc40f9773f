#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "decomp/ImageRecord.h"

namespace packsmith {

// The layout of an image pack: a 32-byte header, a table of entry records from offset 32,
// and the image records wherever the entries point. All numbers are little-endian.
namespace image_pack {
inline constexpr std::size_t kHeaderBytes = 32;
inline constexpr std::size_t kTableSizeAt = 8;
inline constexpr std::size_t kEntryCountAt = 12;
inline constexpr std::size_t kEntrySizeAt = 16;
inline constexpr std::size_t kNameBytes = 243; // the name and its terminating zero lie before this
inline constexpr std::size_t kDataOffsetAt = 243;
inline constexpr std::size_t kDataLengthAt = 247;
inline constexpr std::uint32_t kMinEntrySize = 251;
} // namespace image_pack

struct PackHeader {
    std::uint32_t TableSize = 0;
    std::uint32_t EntryCount = 0;
    std::uint32_t EntrySize = 0;
};

struct PackEntry {
    std::string Name; // as stored: 8-bit characters, up to the terminating zero
    std::uint32_t DataOffset = 0;
    std::uint32_t DataLength = 0;
};

PackHeader ParsePackHeader(std::span<const std::uint8_t, image_pack::kHeaderBytes> header);
// record: one entry record of at least kMinEntrySize bytes. A name without its terminator
// is taken whole.
PackEntry ParsePackEntry(std::span<const std::uint8_t> record);

// The uncompressed image record that a rebuilt pack stores for an edited image: the source
// record's 248-byte header with the tag "DDNH" and three zero bytes at 0 and the pixel byte
// count at 201 and at 205, then the pixels, bottom row first, 4 bytes each (blue, green,
// red, alpha). Its width and height fields keep the source's picture size.
namespace raw_image_record {
inline constexpr std::uint8_t kTag[7] = {'D', 'D', 'N', 'H', 0, 0, 0};
inline constexpr std::size_t kPixelBytesAt = image_record::kPixelBytesAt;
inline constexpr std::size_t kPixelBytesAgainAt = image_record::kIndexStreamSizeAt;
} // namespace raw_image_record

// Whether record is a raw image record: the tag, and the two byte counts agreeing with each
// other and with the record's length.
bool IsRawImageRecord(std::span<const std::uint8_t> record);
// The same test from the record's header and length alone.
bool IsRawImageRecordHeader(std::span<const std::uint8_t, image_record::kHeaderBytes> header,
                            std::uint64_t recordBytes);

} // namespace packsmith
