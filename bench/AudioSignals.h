#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace packsmith::bench {

// Speech-like: a few harmonics of a wandering pitch under a syllable-rate envelope, with
// pauses and a little breath noise.
inline std::vector<std::int16_t> SpeechLike(std::size_t count)
{
    std::mt19937 random(7);
    std::normal_distribution<double> breath(0, 150);
    std::vector<std::int16_t> samples(count);
    double phase = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / 22050;
        const double pitch = 140 + 30 * std::sin(2 * M_PI * 0.7 * t);
        phase += 2 * M_PI * pitch / 22050;
        const double syllable = std::max(0.0, std::sin(2 * M_PI * 3.1 * t));
        const double voiced = 0.6 * std::sin(phase) + 0.3 * std::sin(2 * phase) + 0.15 * std::sin(3 * phase);
        samples[i] = static_cast<std::int16_t>(std::clamp(14000 * syllable * voiced + breath(random), -32768.0, 32767.0));
    }
    return samples;
}

// White noise over the whole 16-bit range.
inline std::vector<std::int16_t> NoiseLike(std::size_t count)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<std::int16_t> samples(count);
    for (auto& sample : samples)
        sample = static_cast<std::int16_t>(value(random));
    return samples;
}

} // namespace packsmith::bench
