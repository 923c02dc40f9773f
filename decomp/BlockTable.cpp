#include "decomp/BlockTable.h"

#include "decomp/BitReader.h"
#include "decomp/ByteOrder.h"

namespace packsmith {

void DecodeBlockTable(std::span<const std::uint8_t> record, std::uint64_t tableOffset, unsigned lastBlockIndex,
                      bool halfRows, std::span<BlockEntry> table)
{
    // Entry 0 is stored raw.
    for (std::size_t b = 0; b < kBlockEntryBytes; ++b) {
        const std::uint64_t at = tableOffset + b;
        table[0][b] = at < record.size() ? record[static_cast<std::size_t>(at)] : 0;
    }

    // Each plane (byte k of the four pixels) starts with a 3-bit selector: 7 gives four
    // absolute bytes, 0 to 6 four deltas of that many magnitude bits, a sign bit following
    // each magnitude that is not 0. A plane takes at most 3 + 4 x 8 bits, so one peeked
    // word holds all of it.
    BitReader reader(record, tableOffset + kBlockEntryBytes);
    for (unsigned e = 1; e <= lastBlockIndex; ++e) {
        const BlockEntry& previous = table[e - 1];
        BlockEntry& entry = table[e];
        for (unsigned k = 0; k < 4; ++k) {
            std::uint64_t word = reader.PeekWord();
            const auto selector = static_cast<unsigned>(word & 7);
            word >>= 3;
            unsigned used = 3;
            if (selector == 7) {
                for (unsigned j = 0; j < 4; ++j)
                    entry[4 * j + k] = static_cast<std::uint8_t>(word >> (8 * j));
                used += 32;
            } else {
                const std::uint64_t mask = (std::uint64_t{1} << selector) - 1;
                for (unsigned j = 0; j < 4; ++j) {
                    const auto magnitude = static_cast<unsigned>(word & mask);
                    word >>= selector;
                    used += selector;
                    unsigned value = previous[4 * j + k];
                    if (magnitude != 0) {
                        value = (word & 1) ? value - magnitude : value + magnitude;
                        word >>= 1;
                        ++used;
                    }
                    entry[4 * j + k] = static_cast<std::uint8_t>(value);
                }
            }
            reader.Skip(used);
        }
    }

    if (halfRows) {
        for (unsigned e = 0; e <= lastBlockIndex; ++e)
            for (std::size_t pixel = 0; pixel < kBlockEntryBytes; pixel += 4)
                StoreLE32(table[e].data() + pixel, LoadLE32(table[e].data() + pixel) << 1);
    }
}

} // namespace packsmith
