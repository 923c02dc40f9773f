#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/wac/WacDecoder.h"

namespace packsmith {

// A place in a packed sound where decoding can pick up without decoding what lies before:
// the start of a block or chunk, and the state the blocks of a packed wave carry over.
struct SoundCheckpoint {
    std::uint64_t Decoded = 0; // decoded bytes before the unit
    std::uint64_t Offset = 0;  // where the unit begins in the file
    std::uint64_t Unit = 0;    // its index
    WacDecoderState State;
};

// Checkpoints spread over a sound as a walk passes them, at most kCapacity of them: when
// full, every other one goes and they are spaced twice as far apart from then on. Memory
// stays the same whatever the sound's length, and a seek decodes at most about
// 1 / (kCapacity / 2) of the sound to reach its place.
class SoundSeekIndex {
public:
    static constexpr std::size_t kCapacity = 1024;
    static constexpr std::uint64_t kFirstSpacing = std::uint64_t{64} << 10;

    // Keeps the checkpoint if it lies far enough past the last one kept.
    void Offer(const SoundCheckpoint& point);
    // The last checkpoint at or before decoded, or nullptr for none (start from the top).
    const SoundCheckpoint* Before(std::uint64_t decoded) const;
    std::size_t Size() const { return points_.size(); }
    std::uint64_t Spacing() const { return spacing_; }

private:
    std::vector<SoundCheckpoint> points_;
    std::uint64_t spacing_ = kFirstSpacing;
};

} // namespace packsmith
