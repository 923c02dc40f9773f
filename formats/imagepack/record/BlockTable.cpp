#include "formats/imagepack/record/BlockTable.h"

#include "core/ByteOrder.h"
#include "formats/imagepack/record/ImageBitReader.h"

namespace packsmith {
namespace {

// The table is decoded a plane at a time: plane k of an entry (byte k of its four pixels)
// is held as one 32-bit number, pixel 0 in the low byte, so that an entry's planes stay in
// registers as the base of the next entry and four deltas are added in one go.

// Byte-wise sum of two numbers of four bytes, each byte wrapping on its own.
std::uint32_t AddBytes(std::uint32_t a, std::uint32_t b)
{
    return ((a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu)) ^ ((a ^ b) & 0x80808080u);
}

// Four deltas of `width` magnitude bits from the low bits of word, each magnitude that is not
// 0 followed by its sign bit (1 subtracts), as four bytes to add; used: the bits they took.
std::uint32_t Deltas(std::uint64_t word, unsigned width, unsigned& used)
{
    const std::uint64_t mask = (std::uint64_t{1} << width) - 1;
    std::uint32_t deltas = 0;
    unsigned at = 0;
    for (unsigned j = 0; j < 4; ++j) {
        const auto magnitude = static_cast<std::uint32_t>((word >> at) & mask);
        at += width;
        if (magnitude != 0) {
            const auto minus = static_cast<std::uint32_t>((word >> at) & 1);
            ++at;
            deltas |= (((magnitude ^ (0u - minus)) + minus) & 0xFFu) << (8 * j);
        }
    }
    used = at;
    return deltas;
}

// Stores the entry whose planes are given: pixel j holds byte j of each plane, a 4 x 4 byte
// transpose done with two exchanges of bytes across each 64-bit half. In half-row mode
// every pixel is shifted left by one bit as a 32-bit number.
void StoreEntry(BlockEntry& entry, std::uint32_t blue, std::uint32_t green, std::uint32_t red, std::uint32_t alpha,
                bool doubled)
{
    // Rows are planes, columns pixels: blue and green in low, red and alpha in high.
    std::uint64_t low = blue | std::uint64_t{green} << 32;
    std::uint64_t high = red | std::uint64_t{alpha} << 32;
    // Pixels 2-3 of blue and green trade places with pixels 0-1 of red and alpha.
    std::uint64_t t = ((low >> 16) ^ high) & 0x0000FFFF0000FFFFull;
    high ^= t;
    low ^= t << 16;
    // Then within each 2 x 2 square of bytes.
    t = ((low >> 24) ^ low) & 0x00000000FF00FF00ull;
    low ^= t ^ t << 24;
    t = ((high >> 24) ^ high) & 0x00000000FF00FF00ull;
    high ^= t ^ t << 24;
    if (doubled) {
        low = (low << 1) & 0xFFFFFFFEFFFFFFFEull;
        high = (high << 1) & 0xFFFFFFFEFFFFFFFEull;
    }
    StoreLE64(entry.data(), low);
    StoreLE64(entry.data() + 8, high);
}

// One plane of a coded entry, from its selector: 7 gives four absolute bytes, 1 to 6 four
// deltas of that many magnitude bits, 0 the plane of the entry before. A plane takes at
// most 3 + 4 x 8 bits, so one refill serves it. (Decoding both readings and keeping one
// instead of branching on the selector puts the deltas' bit count on the reader's chain,
// and measured half as fast.)
std::uint32_t DecodePlane(ImageBitReader& reader, std::uint32_t plane)
{
    reader.Refill();
    const std::uint64_t word = reader.Bits();
    const auto selector = static_cast<unsigned>(word & 7);
    if (selector == 7) {
        reader.Consume(3 + 32);
        return static_cast<std::uint32_t>(word >> 3);
    }
    if (selector == 0) {
        reader.Consume(3);
        return plane;
    }
    unsigned used = 0;
    plane = AddBytes(plane, Deltas(word >> 3, selector, used));
    reader.Consume(3 + used);
    return plane;
}

} // namespace

void DecodeBlockTable(std::span<const std::uint8_t> record, std::uint64_t tableOffset, unsigned lastBlockIndex,
                      bool halfRows, std::span<BlockEntry> table)
{
    // Entry 0 is stored raw.
    std::uint32_t planes[4] = {};
    for (std::size_t b = 0; b < kBlockEntryBytes; ++b) {
        const std::uint64_t at = tableOffset + b;
        const std::uint32_t byte = at < record.size() ? record[static_cast<std::size_t>(at)] : 0;
        planes[b % 4] |= byte << (8 * (b / 4));
    }
    std::uint32_t blue = planes[0], green = planes[1], red = planes[2], alpha = planes[3];
    // The planes that the next entry is coded against stay as stored, undoubled.
    StoreEntry(table[0], blue, green, red, alpha, halfRows);

    ImageBitReader reader(record, tableOffset + kBlockEntryBytes);
    for (unsigned e = 1; e <= lastBlockIndex; ++e) {
        blue = DecodePlane(reader, blue);
        green = DecodePlane(reader, green);
        red = DecodePlane(reader, red);
        alpha = DecodePlane(reader, alpha);
        StoreEntry(table[e], blue, green, red, alpha, halfRows);
    }
}

} // namespace packsmith
