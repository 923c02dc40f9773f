#include "formats/sound/SoundConversion.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <soxr.h>
#include <type_traits>
#include <utility>

#include "core/PackError.h"

namespace packsmith {

namespace {

struct SoxrDelete {
    void operator()(soxr_t resampler) const { soxr_delete(resampler); }
};
using Resampler = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDelete>;

// Frames resampled at a time, and remixed between two looks at the stop request.
constexpr std::size_t kChunkFrames = 8192;

std::string ChannelWords(int count)
{
    return count == 1 ? "mono" : count == 2 ? "stereo" : std::to_string(count) + " channels";
}

// Mono is the rounded average of the channels; otherwise channel c takes the source's channel
// c, or its last one where the source has fewer.
std::string Remix(Pcm16& pcm, int channels, const StopToken& stop)
{
    const auto from = static_cast<std::size_t>(pcm.Channels);
    const auto to = static_cast<std::size_t>(channels);
    const std::size_t frames = pcm.Frames();
    std::vector<std::int16_t> out(frames * to);
    for (std::size_t f = 0; f < frames; ++f) {
        if (f % kChunkFrames == 0)
            stop.ThrowIfStopped();
        const std::int16_t* in = &pcm.Samples[f * from];
        if (to == 1) {
            long sum = 0;
            for (std::size_t c = 0; c < from; ++c)
                sum += in[c];
            out[f] = RoundToPcm16(static_cast<double>(sum) / static_cast<double>(from));
        } else {
            for (std::size_t c = 0; c < to; ++c)
                out[f * to + c] = in[std::min(c, from - 1)];
        }
    }
    pcm.Samples = std::move(out);
    pcm.Channels = channels;

    if (to == 1)
        return "mixed to mono";
    if (from == 1)
        return "copied to " + ChannelWords(channels);
    if (from > to)
        return "kept the first " + std::to_string(to) + " of " + std::to_string(from) + " channels";
    return "repeated the last of " + std::to_string(from) + " channels to make " + std::to_string(to);
}

void Resample(Pcm16& pcm, int rate, const StopToken& stop)
{
    const auto channels = static_cast<std::size_t>(pcm.Channels);
    const std::size_t frames = pcm.Frames();
    // The length the new rate gives. The resampler's own count can be off by its rounding,
    // and the sound must keep its length to the sample wherever it can.
    const double wanted = std::round(static_cast<double>(frames) * rate / pcm.SampleRate);
    if (wanted * 2 * static_cast<double>(channels) > static_cast<double>(kMaxSoundBytes))
        throw PackError("The sound is too long to resample to " + std::to_string(rate) + " Hz");
    const auto wantedFrames = static_cast<std::size_t>(wanted);

    // Floats inside, so that the 16-bit rounding and clipping are ours and no dither is added.
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    const Resampler resampler(soxr_create(pcm.SampleRate, rate, static_cast<unsigned>(channels), &error, &io,
                                          &quality, &runtime));
    if (error != nullptr)
        throw PackError(std::string("Cannot resample the sound (") + error + ")");

    std::vector<std::int16_t> out;
    out.reserve(wantedFrames * channels);
    std::vector<float> inChunk(kChunkFrames * channels);
    std::vector<float> outChunk(kChunkFrames * channels);
    for (std::size_t at = 0;;) {
        stop.ThrowIfStopped();
        // Once the input is used up, a null input asks the resampler to give out what it holds.
        const std::size_t count = std::min(kChunkFrames, frames - at);
        for (std::size_t i = 0; i < count * channels; ++i)
            inChunk[i] = static_cast<float>(pcm.Samples[at * channels + i]) / 32768.0f;
        std::size_t used = 0;
        std::size_t made = 0;
        error = soxr_process(resampler.get(), count > 0 ? inChunk.data() : nullptr, count, &used,
                             outChunk.data(), kChunkFrames, &made);
        if (error != nullptr)
            throw PackError(std::string("Cannot resample the sound (") + error + ")");
        for (std::size_t i = 0; i < made * channels; ++i)
            out.push_back(RoundToPcm16(static_cast<double>(outChunk[i]) * 32768.0));
        at += used;
        if (count == 0 && made == 0)
            break;
        if (count > 0 && used == 0 && made == 0)
            throw PackError("Cannot resample the sound (the resampler stopped taking input)");
    }
    out.resize(wantedFrames * channels, 0);
    pcm.Samples = std::move(out);
    pcm.SampleRate = rate;
}

} // namespace

Pcm16 ConvertSound(Pcm16 in, int channels, int sampleRate, std::string& description, const StopToken& stop)
{
    if (channels < 1 || channels > kMaxSoundChannels || sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate)
        throw PackError("Cannot convert sound to " + std::to_string(channels) + " channels at " +
                        std::to_string(sampleRate) + " Hz");
    if (in.Channels < 1 || in.Channels > kMaxSoundChannels || in.SampleRate < kMinSampleRate ||
        in.SampleRate > kMaxSampleRate)
        throw PackError("Cannot convert sound of " + std::to_string(in.Channels) + " channels at " +
                        std::to_string(in.SampleRate) + " Hz");

    // The sound is taken over rather than copied: a long one is hundreds of megabytes.
    const int inChannels = in.Channels;
    const int inRate = in.SampleRate;
    const std::string inKind = std::move(in.Kind);
    Pcm16 out = std::move(in);
    std::string rateStep;
    std::string channelStep;
    // Fewer channels before resampling and more after, so the resampler has the least to do.
    if (channels < inChannels)
        channelStep = Remix(out, channels, stop);
    if (sampleRate != inRate) {
        Resample(out, sampleRate, stop);
        rateStep = "resampled from " + std::to_string(inRate) + " Hz";
    }
    if (channels > inChannels)
        channelStep = Remix(out, channels, stop);
    const std::string kindStep = inKind.empty() || inKind == "16-bit" ? "" : "converted from " + inKind;

    description.clear();
    for (const std::string& step : {rateStep, channelStep, kindStep}) {
        if (step.empty())
            continue;
        if (!description.empty())
            description += ", ";
        description += step;
    }
    out.Kind = "16-bit";
    return out;
}

} // namespace packsmith
