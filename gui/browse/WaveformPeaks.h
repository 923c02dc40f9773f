#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace packsmith {

// A sound's outline for drawing: its frames split into Columns equal stretches, and for
// each channel the lowest and highest sample of each stretch, scaled to -1..1. Made once on
// the worker that decoded the sound; a view of any width merges neighbouring columns.
struct WaveformPeaks {
    int Channels = 0;
    std::size_t Columns = 0;
    // Channel c, column i at [c * Columns + i].
    std::vector<float> Low;
    std::vector<float> High;

    // The lowest and highest sample of a channel over columns [first, last).
    std::pair<float, float> Range(int channel, std::size_t first, std::size_t last) const;
};

// Enough columns for a window across a wide screen.
inline constexpr std::size_t kPeakColumns = 4096;

// The peaks of interleaved samples of 8 (unsigned) or 16 bits (signed, little-endian), at
// most maxColumns columns and never more than there are frames. An empty result for another
// sample size, no channels or no whole frame; also when stop is set, which it checks column
// by column.
WaveformPeaks ComputePeaks(std::span<const std::uint8_t> samples, int channels, int bitsPerSample,
                           std::size_t maxColumns, const std::atomic<bool>& stop);

} // namespace packsmith
