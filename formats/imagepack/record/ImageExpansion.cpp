#include "formats/imagepack/record/ImageExpansion.h"

#include <cstring>

#include "core/ByteOrder.h"

namespace packsmith {
namespace {

template <std::size_t kBlockBytes, ZeroBlocks kZero>
void Blocks(const std::uint16_t* indices, std::size_t count, const BlockEntry* table, std::uint8_t* to)
{
    for (std::size_t n = 0; n < count; ++n, to += kBlockBytes) {
        const std::uint16_t index = indices[n];
        if (kZero == ZeroBlocks::Skip && index == 0)
            continue;
        std::memcpy(to, table[index].data(), kBlockBytes); // entry 0 is zero where it is drawn
    }
}

// Two pixels between a and b: their 32-bit halves added apart, the 64-bit sum halved.
std::uint64_t Between(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t low = (a + b) & 0xFFFFFFFFu;
    const std::uint64_t high = ((a >> 32) + (b >> 32)) << 32;
    return (high | low) >> 1;
}

template <std::size_t kBlockBytes, ZeroBlocks kZero>
void HalfRows(const std::uint16_t* map, std::size_t wb, std::int64_t height, const BlockEntry* table,
              const PixelRows& rows)
{
    const std::int64_t between = height / 2 - 1 + height % 2; // map rows followed by a row between
    Blocks<kBlockBytes, kZero>(map, wb, table, rows.Row(0));
    for (std::int64_t k = 1; k <= between; ++k) {
        const auto r = static_cast<std::size_t>(k);
        const std::uint16_t* indices = map + r * wb;
        std::uint8_t* coded = rows.Row(2 * r);
        std::uint8_t* middle = rows.Row(2 * r - 1);
        const std::uint8_t* below = rows.Row(2 * r - 2);
        for (std::size_t b = 0; b < wb; ++b) {
            const std::uint16_t index = indices[b];
            if (kZero == ZeroBlocks::Skip && index == 0)
                continue;
            const std::uint8_t* block = table[index].data();
            const std::size_t at = b * kBlockBytes;
            std::memcpy(coded + at, block, kBlockBytes);
            // Under a zero block the row between is zero too.
            const std::uint64_t keep = index != 0 ? ~std::uint64_t{0} : 0;
            for (std::size_t half = 0; half < kBlockBytes; half += 8) {
                const std::uint64_t v = Between(LoadLE64(below + at + half), LoadLE64(block + half));
                StoreLE64(middle + at + half, v & keep);
            }
        }
    }
    if (height % 2 == 0) {
        const auto last = static_cast<std::size_t>(height / 2);
        Blocks<kBlockBytes, kZero>(map + last * wb, wb, table, rows.Row(static_cast<std::size_t>(height - 1)));
    }
}

} // namespace

void ExpandBlocks(const std::uint16_t* indices, std::size_t count, std::span<const BlockEntry> table,
                  std::size_t blockBytes, ZeroBlocks zero, std::uint8_t* to)
{
    const BlockEntry* t = table.data();
    if (blockBytes == 16)
        zero == ZeroBlocks::Draw ? Blocks<16, ZeroBlocks::Draw>(indices, count, t, to)
                                 : Blocks<16, ZeroBlocks::Skip>(indices, count, t, to);
    else
        zero == ZeroBlocks::Draw ? Blocks<8, ZeroBlocks::Draw>(indices, count, t, to)
                                 : Blocks<8, ZeroBlocks::Skip>(indices, count, t, to);
}

void ExpandHalfRows(const std::uint16_t* map, std::size_t wb, std::int64_t height, std::span<const BlockEntry> table,
                    std::size_t blockBytes, ZeroBlocks zero, const PixelRows& rows)
{
    const BlockEntry* t = table.data();
    if (blockBytes == 16)
        zero == ZeroBlocks::Draw ? HalfRows<16, ZeroBlocks::Draw>(map, wb, height, t, rows)
                                 : HalfRows<16, ZeroBlocks::Skip>(map, wb, height, t, rows);
    else
        zero == ZeroBlocks::Draw ? HalfRows<8, ZeroBlocks::Draw>(map, wb, height, t, rows)
                                 : HalfRows<8, ZeroBlocks::Skip>(map, wb, height, t, rows);
}

} // namespace packsmith
