#include "gui/browse/WaveformPeaks.h"

#include <algorithm>
#include <climits>

#include "core/ByteOrder.h"

namespace packsmith {

namespace {

// A channel's lowest and highest sample over count frames from at, in the sample's own
// units (8-bit samples less their offset of 128).
template <std::size_t SampleBytes>
void Fold(const std::uint8_t* at, std::uint64_t count, std::size_t frameBytes, int& low, int& high)
{
    int lo = low, hi = high;
    for (std::uint64_t i = 0; i < count; ++i, at += frameBytes) {
        const int value = SampleBytes == 1 ? static_cast<int>(*at) - 128 : static_cast<std::int16_t>(LoadLE16(at));
        lo = std::min(lo, value);
        hi = std::max(hi, value);
    }
    low = lo;
    high = hi;
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

PeaksBuilder::PeaksBuilder(int channels, int bitsPerSample, std::uint64_t frames, std::size_t maxColumns)
{
    if ((bitsPerSample != 8 && bitsPerSample != 16) || channels <= 0 || frames == 0 || maxColumns == 0)
        return;
    const auto channelCount = static_cast<std::size_t>(channels);
    const std::size_t columns = static_cast<std::size_t>(
        std::min<std::uint64_t>({maxColumns, frames, std::max<std::size_t>(kMaxPeakValues / channelCount, 1)}));
    channels_ = channels;
    sampleBytes_ = static_cast<std::size_t>(bitsPerSample / 8);
    frameBytes_ = sampleBytes_ * channelCount;
    frames_ = frames;
    columnEnd_ = frames / columns;
    low_.assign(channelCount, INT_MAX);
    high_.assign(channelCount, INT_MIN);
    partial_.reserve(frameBytes_);
    peaks_.Channels = channels;
    peaks_.Columns = columns;
    peaks_.Low.assign(columns * channelCount, 0.0F);
    peaks_.High.assign(columns * channelCount, 0.0F);
}

void PeaksBuilder::Add(std::span<const std::uint8_t> samples)
{
    if (frame_ >= frames_)
        return;
    if (!partial_.empty()) {
        const std::size_t taken = std::min(frameBytes_ - partial_.size(), samples.size());
        partial_.insert(partial_.end(), samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(taken));
        samples = samples.subspan(taken);
        if (partial_.size() < frameBytes_)
            return;
        AddFrames(partial_.data(), 1);
        partial_.clear();
    }
    const std::size_t whole = samples.size() / frameBytes_;
    AddFrames(samples.data(), whole);
    const auto rest = samples.subspan(whole * frameBytes_);
    partial_.assign(rest.begin(), rest.end());
}

void PeaksBuilder::AddFrames(const std::uint8_t* at, std::uint64_t count)
{
    while (count > 0 && frame_ < frames_) {
        // Every frame belongs to exactly one column: frames [i * frames / columns,
        // (i + 1) * frames / columns) make column i.
        const std::uint64_t taken = std::min(count, columnEnd_ - frame_);
        for (int channel = 0; channel < channels_; ++channel) {
            const std::uint8_t* first = at + static_cast<std::size_t>(channel) * sampleBytes_;
            auto& low = low_[static_cast<std::size_t>(channel)];
            auto& high = high_[static_cast<std::size_t>(channel)];
            if (sampleBytes_ == 1)
                Fold<1>(first, taken, frameBytes_, low, high);
            else
                Fold<2>(first, taken, frameBytes_, low, high);
        }
        frame_ += taken;
        at += taken * frameBytes_;
        count -= taken;
        if (frame_ == columnEnd_)
            EndColumn();
    }
}

void PeaksBuilder::EndColumn()
{
    const float scale = sampleBytes_ == 1 ? 128.0F : 32768.0F;
    const std::size_t column = peaks_.Filled;
    for (std::size_t channel = 0; channel < low_.size(); ++channel) {
        peaks_.Low[channel * peaks_.Columns + column] = static_cast<float>(low_[channel]) / scale;
        peaks_.High[channel * peaks_.Columns + column] = static_cast<float>(high_[channel]) / scale;
        low_[channel] = INT_MAX;
        high_[channel] = INT_MIN;
    }
    ++peaks_.Filled;
    columnEnd_ = (peaks_.Filled + 1) * frames_ / peaks_.Columns;
}

} // namespace packsmith
