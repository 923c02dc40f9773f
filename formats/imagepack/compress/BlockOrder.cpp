#include "formats/imagepack/compress/BlockOrder.h"

#include <algorithm>
#include <numeric>

#include "formats/imagepack/record/BlockTableCoder.h"

namespace packsmith {
namespace {

// Entries this far either side in brightness are weighed as the next in the chain.
constexpr std::ptrdiff_t kWindow = 24;

unsigned Brightness(const BlockEntry& entry)
{
    unsigned sum = 0;
    for (std::size_t p = 0; p < 4; ++p)
        sum += entry[4 * p] + 2u * entry[4 * p + 1] + entry[4 * p + 2] + 4u * entry[4 * p + 3];
    return sum;
}

} // namespace

std::vector<std::uint32_t> OrderEntries(std::span<const BlockEntry> entries)
{
    std::vector<std::uint32_t> left(entries.size());
    std::iota(left.begin(), left.end(), 0u);
    std::vector<unsigned> brightness(entries.size());
    for (std::size_t e = 0; e < entries.size(); ++e)
        brightness[e] = Brightness(entries[e]);
    std::stable_sort(left.begin(), left.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return brightness[a] < brightness[b]; });

    std::vector<std::uint32_t> order;
    order.reserve(entries.size());
    std::ptrdiff_t at = 0; // in left, the place of the entry taken last
    while (!left.empty()) {
        if (!order.empty()) {
            const BlockEntry& last = entries[order.back()];
            const auto size = static_cast<std::ptrdiff_t>(left.size());
            std::ptrdiff_t best = std::min(at, size - 1);
            unsigned bestBits = BlockEntryBits(last, entries[left[best]]);
            for (std::ptrdiff_t k = std::max<std::ptrdiff_t>(0, at - kWindow); k < std::min(size, at + kWindow); ++k) {
                const unsigned bits = BlockEntryBits(last, entries[left[k]]);
                if (bits < bestBits) {
                    bestBits = bits;
                    best = k;
                }
            }
            at = best;
        }
        order.push_back(left[at]);
        left.erase(left.begin() + at);
    }
    return order;
}

} // namespace packsmith
