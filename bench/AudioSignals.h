#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace packsmith::bench {

// A steady sine at the given peak.
inline std::vector<std::int16_t> ToneLike(std::size_t count, double peak = 32767, double hertz = 440)
{
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(std::lround(peak * std::sin(2 * M_PI * hertz * static_cast<double>(i) / 22050)));
    return samples;
}

// Music-like: a bass line and a three-note chord that change every half second, each note
// with a few decaying harmonics, over a little hiss; peaks near full scale.
inline std::vector<std::int16_t> MusicLike(std::size_t count)
{
    std::mt19937 random(5);
    std::normal_distribution<double> hiss(0, 60);
    constexpr double kChords[4][4] = {{55, 220, 277.2, 329.6}, {49, 196, 246.9, 293.7},
                                      {43.65, 174.6, 220, 261.6}, {41.2, 164.8, 207.7, 246.9}};
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / 22050;
        const auto& chord = kChords[static_cast<std::size_t>(t * 2) % 4];
        const double sinceChange = std::fmod(t, 0.5);
        double v = 0;
        for (int n = 0; n < 4; ++n)
            for (int h = 1; h <= 3; ++h)
                v += std::sin(2 * M_PI * chord[n] * h * t) / (h * h) * std::exp(-sinceChange * (1 + n));
        samples[i] = static_cast<std::int16_t>(std::clamp(6500 * v + hiss(random), -32768.0, 32767.0));
    }
    return samples;
}

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

// The signal at a lower level (gain below 1), as the quiet passages of a game's sound.
inline std::vector<std::int16_t> Attenuated(std::vector<std::int16_t> samples, double gain)
{
    for (auto& sample : samples)
        sample = static_cast<std::int16_t>(std::lround(sample * gain));
    return samples;
}

} // namespace packsmith::bench
