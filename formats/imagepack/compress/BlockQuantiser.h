#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "concurrency/StopToken.h"
#include "formats/imagepack/compress/PictureLayout.h"

namespace packsmith {

// EntryOf for a block that is drawn as index 0, all zeros.
inline constexpr std::uint32_t kZeroBlockEntry = 0xFFFFFFFFu;

struct BlockPalette {
    std::vector<PixelBlock> Entries;    // at most the number asked for
    std::vector<std::uint32_t> EntryOf; // for each block given: its entry, or kZeroBlockEntry
};

// Picks at most maxEntries blocks that stand for the given distinct blocks (each weighted by
// its count) and the one each is drawn as. The worst group is split in two, across its
// principal axis where that leaves the least error, until the entries are spent; then rounds
// of passes move each block to its nearest entry and each entry to the mean of its blocks,
// and between rounds entries that cost little to give up move to the blocks drawn worst. No
// entry is left unused while a block is drawn wrong. Alpha errors weigh more than colour
// errors, so edges of shapes stay where they are; a block with any visible pixel is never
// drawn as index 0, and a block whose pixels are all transparent never as an entry with a
// visible pixel. The all-zero block is drawn as index 0. pixelsPerBlock: 2 or 4. Leaves
// with JobStopped when stop is raised.
BlockPalette QuantiseBlocks(std::span<const PixelBlock> blocks, std::span<const std::uint32_t> counts,
                            unsigned pixelsPerBlock, std::size_t maxEntries, const StopToken& stop = {});

} // namespace packsmith
