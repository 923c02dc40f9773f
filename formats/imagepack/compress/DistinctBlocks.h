#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/imagepack/compress/PictureLayout.h"

namespace packsmith {

// The distinct blocks of a picture in order of first appearance, with how often each
// appears: identical blocks are quantised and tabled once.
class DistinctBlocks {
public:
    // Forgets every block, keeping the memory.
    void Clear();
    // The id of block (0, 1, 2 ... in order of first appearance), counting one more of it.
    std::uint32_t Add(const PixelBlock& block);

    std::size_t Size() const { return blocks_.size(); }
    const std::vector<PixelBlock>& Blocks() const { return blocks_; }
    const std::vector<std::uint32_t>& Counts() const { return counts_; }

private:
    void Grow();

    std::vector<PixelBlock> blocks_;
    std::vector<std::uint32_t> counts_;
    std::vector<std::uint32_t> slots_; // open addressing: id + 1, 0 for free
};

} // namespace packsmith
