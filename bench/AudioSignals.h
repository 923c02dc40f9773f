#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/ByteOrder.h"
#include "formats/wave/WaveFile.h"
#include "formats/wave/WaveHeader.h"

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

// How many codes a packed music chunk holds: a 0 starts a 13-bit code, 11 a 2-bit one and
// 10 an 8-bit one; a code that starts inside the chunk counts even where it runs past it.
inline std::size_t CountWasCodes(const std::vector<std::uint8_t>& chunk)
{
    const std::uint64_t end = 8 * std::uint64_t{chunk.size()};
    const auto bit = [&](std::uint64_t p) { return p < end && (chunk[p / 8] >> (7 - p % 8) & 1) != 0; };
    std::size_t codes = 0;
    for (std::uint64_t p = 0; p < end; ++codes)
        p += !bit(p) ? 13 : bit(p + 1) ? 2 : 8;
    return codes;
}

// A packed music file of about `bytes` whose chunks are random bytes, 16 to 96 KB each, each
// declaring as many samples as it has codes: every kind of code, in the proportions 4:2:2
// (literal, reference, repeat), and the insert slot referred to by about one code in eight,
// the worst case of the table's search.
inline std::vector<std::uint8_t> RandomCodeWasFile(std::size_t bytes)
{
    std::mt19937_64 random(13);
    std::uniform_int_distribution<std::size_t> size(16 << 10, 96 << 10);
    std::vector<std::uint8_t> file(kWaveDataAt);
    std::uint64_t decoded = 0;
    while (file.size() < bytes) {
        std::vector<std::uint8_t> chunk(size(random));
        for (auto& byte : chunk)
            byte = static_cast<std::uint8_t>(random());
        const auto decodedBytes = static_cast<std::uint32_t>(2 * CountWasCodes(chunk));
        const std::size_t at = file.size();
        file.resize(at + 8);
        StoreLE32(file.data() + at, static_cast<std::uint32_t>(chunk.size()));
        StoreLE32(file.data() + at + 4, decodedBytes);
        file.insert(file.end(), chunk.begin(), chunk.end());
        decoded += decodedBytes;
    }
    const auto header = MakeWaveHeader({}, static_cast<std::uint32_t>(decoded));
    std::copy(header.begin(), header.end(), file.begin() + kWavePrefixBytes);
    return file;
}

} // namespace packsmith::bench
