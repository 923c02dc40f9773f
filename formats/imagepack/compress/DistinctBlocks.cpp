#include "formats/imagepack/compress/DistinctBlocks.h"

#include <algorithm>

namespace packsmith {
namespace {

std::size_t Hash(const PixelBlock& block)
{
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    for (const std::uint32_t pixel : block)
        h = (h ^ pixel) * 0xBF58476D1CE4E5B9ull;
    return static_cast<std::size_t>(h ^ (h >> 31));
}

} // namespace

void DistinctBlocks::Clear()
{
    blocks_.clear();
    counts_.clear();
    std::fill(slots_.begin(), slots_.end(), 0);
}

std::uint32_t DistinctBlocks::Add(const PixelBlock& block)
{
    if (2 * (blocks_.size() + 1) > slots_.size()) // at most half full
        Grow();
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = Hash(block) & mask;; at = (at + 1) & mask) {
        const std::uint32_t slot = slots_[at];
        if (slot == 0) {
            const auto id = static_cast<std::uint32_t>(blocks_.size());
            slots_[at] = id + 1;
            blocks_.push_back(block);
            counts_.push_back(1);
            return id;
        }
        if (blocks_[slot - 1] == block) {
            ++counts_[slot - 1];
            return slot - 1;
        }
    }
}

void DistinctBlocks::Grow()
{
    slots_.assign(std::max<std::size_t>(1024, 2 * slots_.size()), 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t id = 0; id < blocks_.size(); ++id) {
        std::size_t at = Hash(blocks_[id]) & mask;
        while (slots_[at] != 0)
            at = (at + 1) & mask;
        slots_[at] = static_cast<std::uint32_t>(id + 1);
    }
}

} // namespace packsmith
