#include "gui/browse/WaveformPeaks.h"

#include <algorithm>

#include "core/ByteOrder.h"

namespace packsmith {

namespace {

float SampleAt(const std::uint8_t* at, int bitsPerSample)
{
    if (bitsPerSample == 8)
        return static_cast<float>(static_cast<int>(*at) - 128) / 128.0F;
    return static_cast<float>(static_cast<std::int16_t>(LoadLE16(at))) / 32768.0F;
}

} // namespace

std::pair<float, float> WaveformPeaks::Range(int channel, std::size_t first, std::size_t last) const
{
    first = std::min(first, Columns);
    last = std::clamp(last, first, Columns);
    if (first == last)
        return {0.0F, 0.0F};
    const std::size_t base = static_cast<std::size_t>(channel) * Columns;
    const float low = *std::min_element(Low.begin() + static_cast<std::ptrdiff_t>(base + first),
                                        Low.begin() + static_cast<std::ptrdiff_t>(base + last));
    const float high = *std::max_element(High.begin() + static_cast<std::ptrdiff_t>(base + first),
                                         High.begin() + static_cast<std::ptrdiff_t>(base + last));
    return {low, high};
}

WaveformPeaks ComputePeaks(std::span<const std::uint8_t> samples, int channels, int bitsPerSample,
                           std::size_t maxColumns, const std::atomic<bool>& stop)
{
    WaveformPeaks peaks;
    if ((bitsPerSample != 8 && bitsPerSample != 16) || channels <= 0 || maxColumns == 0)
        return peaks;
    const std::size_t sampleBytes = static_cast<std::size_t>(bitsPerSample / 8);
    const std::size_t frameBytes = sampleBytes * static_cast<std::size_t>(channels);
    const std::size_t frames = samples.size() / frameBytes;
    if (frames == 0)
        return peaks;

    const std::size_t columns = std::min(maxColumns, frames);
    peaks.Channels = channels;
    peaks.Columns = columns;
    peaks.Low.assign(columns * static_cast<std::size_t>(channels), 0.0F);
    peaks.High.assign(columns * static_cast<std::size_t>(channels), 0.0F);
    for (std::size_t column = 0; column < columns; ++column) {
        if (stop.load(std::memory_order_relaxed))
            return {};
        // Frames [first, last) of the column; every frame belongs to exactly one column.
        const std::size_t first = column * frames / columns;
        const std::size_t last = (column + 1) * frames / columns;
        for (int channel = 0; channel < channels; ++channel) {
            float low = 1.0F;
            float high = -1.0F;
            const std::uint8_t* at = samples.data() + first * frameBytes + static_cast<std::size_t>(channel) * sampleBytes;
            for (std::size_t frame = first; frame < last; ++frame, at += frameBytes) {
                const float value = SampleAt(at, bitsPerSample);
                low = std::min(low, value);
                high = std::max(high, value);
            }
            const std::size_t index = static_cast<std::size_t>(channel) * columns + column;
            peaks.Low[index] = low;
            peaks.High[index] = high;
        }
    }
    return peaks;
}

} // namespace packsmith
