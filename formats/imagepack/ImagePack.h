#pragma once

#include <cstdint>
#include <span>
#include <string>


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

} // namespace packsmith
