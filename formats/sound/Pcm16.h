#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace packsmith {

// What a sound may be before it is refused rather than read or converted: far past what
// the games play, but short of what a damaged header can claim.
inline constexpr int kMaxSoundChannels = 8;
inline constexpr int kMinSampleRate = 1000;
inline constexpr int kMaxSampleRate = 768000;
inline constexpr std::uint64_t kMaxSoundBytes = std::uint64_t{4} << 30;

// Sound the way the packed files hold it: interleaved 16-bit samples. Kind is what the
// samples were before they became 16-bit ("24-bit", "32-bit float", "Vorbis"...), kept so
// that the results line can say what was converted.
struct Pcm16 {
    std::vector<std::int16_t> Samples;
    int Channels = 0;
    int SampleRate = 0;
    std::string Kind = "16-bit";
    // What is wrong with the file that was read anyway (what it holds is taken); "" when
    // nothing is.
    std::string Damage;

    std::size_t Frames() const { return Channels > 0 ? Samples.size() / static_cast<std::size_t>(Channels) : 0; }
};

// A sample in 16-bit units rounded to the nearest (halves away from zero, the same both
// ways) and clipped: a peak that overshoots after resampling must flatten, not wrap to the
// other sign. NaN, which a broken float file can hold, becomes silence.
inline std::int16_t RoundToPcm16(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 32767.0)
        return 32767;
    if (value <= -32768.0)
        return -32768;
    return static_cast<std::int16_t>(std::lround(value));
}

} // namespace packsmith
