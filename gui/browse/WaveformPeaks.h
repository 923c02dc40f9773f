#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace packsmith {

// A sound's outline for drawing: its frames split into Columns equal stretches, and for
// each channel the lowest and highest sample of each stretch, scaled to -1..1. Made on the
// worker that decodes the sound; a view of any width merges neighbouring columns. While it
// is being made, only the first Filled columns hold peaks.
struct WaveformPeaks {
    int Channels = 0;
    std::size_t Columns = 0;
    std::size_t Filled = 0;
    // Channel c, column i at [c * Columns + i].
    std::vector<float> Low;
    std::vector<float> High;

    // The lowest and highest sample of a channel over columns [first, last).
    std::pair<float, float> Range(int channel, std::size_t first, std::size_t last) const;
};

// Enough columns for a window across a wide screen.
inline constexpr std::size_t kPeakColumns = 4096;
// The most values a channel's lows or highs take in all: a header that claims thousands of
// channels gets fewer columns rather than gigabytes of peaks.
inline constexpr std::size_t kMaxPeakValues = std::size_t{1} << 20;

// Makes the peaks of a sound of a known number of frames from its samples handed in order,
// in pieces of any size (a frame may straddle two). Its memory is its columns, whatever the
// sound's length. Samples of 8 (unsigned) or 16 bits (signed, little-endian); for another
// size, no channels or no frames it makes empty peaks and ignores what it is given.
class PeaksBuilder {
public:
    PeaksBuilder(int channels, int bitsPerSample, std::uint64_t frames, std::size_t maxColumns);

    // Folds in the next samples; those past the stated frames are left out.
    void Add(std::span<const std::uint8_t> samples);
    // The peaks so far, the columns done marked as Filled.
    const WaveformPeaks& Peaks() const { return peaks_; }
    WaveformPeaks Take() { return std::move(peaks_); }

private:
    void AddFrames(const std::uint8_t* at, std::uint64_t count);
    void EndColumn();

    int channels_ = 0;
    std::size_t sampleBytes_ = 0;
    std::size_t frameBytes_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t frame_ = 0;     // frames folded in so far
    std::uint64_t columnEnd_ = 0; // the first frame of the next column
    std::vector<int> low_, high_; // the open column's, per channel, in raw sample units
    std::vector<std::uint8_t> partial_; // the start of a frame the last piece cut off
    WaveformPeaks peaks_;
};

} // namespace packsmith
