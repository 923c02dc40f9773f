// A packed sound decoded as it is read: the same bytes as decoding it whole, from the start
// or from any place, the waveform's peaks made piece by piece equal to those of the whole,
// the same memory for a long sound as for a short one, and a damaged file refused by name.
#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasEncoder.h"
#include "gui/browse/WaveformPeaks.h"
#include "jobs/SoundStream.h"
#include "testing/Bytes.h"
#include "testing/ReferenceAudioDecoders.h"
#include "testing/TempDir.h"

namespace packsmith::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::int16_t> Tone(std::size_t count, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i)
        samples[i] = static_cast<std::int16_t>(14000 * std::sin(static_cast<double>(i) * (0.01 + 0.003 * (i % 7))) +
                                               static_cast<int>(rng() % 2000) - 1000);
    return samples;
}

// The 8 + 44 bytes in front of the samples, for a header of the given kind.
struct Front {
    std::array<std::uint8_t, kWavePrefixBytes> Prefix{};
    std::array<std::uint8_t, kWaveHeaderBytes> Header{};
};

Front FrontFor(std::uint16_t channels, std::uint16_t bits, std::size_t samples)
{
    using namespace wave_header;
    Front front;
    front.Header = MakeWaveHeader({channels, 22050}, static_cast<std::uint32_t>(2 * samples));
    StoreLE16(front.Header.data() + kBitsPerSampleAt, bits);
    StoreLE16(front.Header.data() + kBlockAlignAt, static_cast<std::uint16_t>(channels * bits / 8));
    return front;
}

// What the file decodes to, walked and decoded with the plain reference decoders.
Bytes DecodeWhole(const Bytes& file, bool music)
{
    Bytes out;
    std::size_t at = kWaveDataAt;
    if (music) {
        while (at < file.size()) {
            const std::uint32_t coded = LoadLE32(file.data() + at), decoded = LoadLE32(file.data() + at + 4);
            out.resize(out.size() + decoded);
            ReferenceDecodeWasChunk(std::span(file).subspan(at + 8, coded), std::span(out).last(decoded));
            at += 8 + coded;
        }
        return out;
    }
    std::int16_t delta = 0, sample = 0;
    for (std::uint32_t block = 0, blocks = LoadLE32(file.data()); block < blocks; ++block) {
        const std::uint16_t coded = LoadLE16(file.data() + at);
        out.resize(out.size() + kWacBlockBytes);
        ReferenceDecodeWacBlock(std::span(file).subspan(at + 2, coded), out.data() + out.size() - kWacBlockBytes,
                                delta, sample);
        at += 2 + coded;
    }
    return out;
}

// Everything from the stream's position on, in pieces of changing sizes.
Bytes ReadRest(SoundStream& stream, std::size_t most = SIZE_MAX)
{
    static constexpr std::size_t kSizes[] = {1, 7, 300, 5000, SIZE_MAX};
    Bytes out;
    for (std::size_t i = 0; !stream.AtEnd() && out.size() < most; ++i) {
        const auto piece = stream.Next(std::min(kSizes[i % std::size(kSizes)], most - out.size()));
        EXPECT_FALSE(piece.empty());
        out.insert(out.end(), piece.begin(), piece.end());
    }
    return out;
}

struct Shape {
    const char* name;
    std::uint16_t channels;
    std::uint16_t bits;
    std::size_t samples;
    std::size_t samplesPerChunk; // packed music only
};

// Blocks and chunks cut short at the end, frames straddling chunks, 8-bit headers, and a
// sound of fewer frames than columns.
constexpr Shape kShapes[] = {
    {"mono16.wac", 1, 16, 70000, 0},
    {"stereo16.wac", 2, 16, 100002, 0},
    {"mono8.wac", 1, 8, 90001, 0},
    {"tiny.wac", 1, 16, 100, 0},
    {"mono16.was", 1, 16, 70001, 4096},
    {"stereo16.was", 2, 16, 80000, 999},
    {"stereo8.was", 2, 8, 60001, 333},
};

Bytes Encode(const Shape& shape)
{
    const bool music = std::string(shape.name).ends_with(".was");
    const auto samples = Tone(shape.samples, static_cast<std::uint32_t>(shape.samples));
    const Front front = FrontFor(shape.channels, shape.bits, shape.samples);
    return music ? EncodeWasFile(samples, front.Prefix, front.Header, shape.samplesPerChunk)
                 : EncodeWacFile(samples, front.Prefix, front.Header);
}

TEST(SoundStreamTest, GivesTheWholeDecodeFromTheStartAndFromAnyPlace)
{
    TempDir dir;
    for (const Shape& shape : kShapes) {
        SCOPED_TRACE(shape.name);
        const bool music = std::string(shape.name).ends_with(".was");
        const Bytes file = Encode(shape);
        const Bytes whole = DecodeWhole(file, music);
        SoundStream stream(dir.Write(shape.name, AsString(file)), music);
        ASSERT_EQ(stream.Summary().DecodedBytes, whole.size());
        EXPECT_EQ(stream.Summary().BitsPerSample, shape.bits);
        EXPECT_TRUE(std::equal(stream.Header().begin(), stream.Header().end(), file.begin() + kWavePrefixBytes));

        ASSERT_EQ(ReadRest(stream), whole);
        EXPECT_TRUE(stream.Next(100).empty());

        // Back and forth after the whole walk (from its checkpoints), inside a block or
        // chunk, on its edges, and at the very end.
        const std::uint64_t size = whole.size();
        for (const std::uint64_t at : {size / 2 + 3, std::uint64_t{1}, size - 1, std::uint64_t{513}, std::uint64_t{0}, size,
                                       std::uint64_t{512}, size / 3, std::uint64_t{511}, size / 3 + 1, size + 100}) {
            SCOPED_TRACE(at);
            stream.Seek(at);
            const std::uint64_t from = std::min(at, size);
            EXPECT_EQ(stream.Position(), from);
            const Bytes expected(whole.begin() + static_cast<std::ptrdiff_t>(from),
                                 whole.begin() + static_cast<std::ptrdiff_t>(std::min(from + 3000, size)));
            EXPECT_EQ(ReadRest(stream, 3000), expected);
        }
        // A fresh stream, which has passed no checkpoint yet, seeks forward by decoding.
        SoundStream fresh(dir / shape.name, music);
        fresh.Seek(size * 3 / 4);
        EXPECT_EQ(ReadRest(fresh), Bytes(whole.begin() + static_cast<std::ptrdiff_t>(size * 3 / 4), whole.end()));
        if (size > 2 * SoundSeekIndex::kFirstSpacing) {
            EXPECT_GT(stream.Index().Size(), 0U);
        }
    }
}

TEST(SoundStreamTest, PeaksMadePieceByPieceEqualThePeaksOfTheWholeSound)
{
    TempDir dir;
    for (const Shape& shape : kShapes) {
        SCOPED_TRACE(shape.name);
        const bool music = std::string(shape.name).ends_with(".was");
        const Bytes file = Encode(shape);
        const Bytes whole = DecodeWhole(file, music);
        const std::size_t sampleBytes = shape.bits / 8U;
        const std::size_t frames = whole.size() / (sampleBytes * shape.channels);

        PeaksBuilder all(shape.channels, shape.bits, frames, kPeakColumns);
        all.Add(whole);
        const WaveformPeaks expected = all.Take();
        ASSERT_EQ(expected.Columns, std::min(frames, kPeakColumns));
        ASSERT_EQ(expected.Filled, expected.Columns);

        SoundStream stream(dir.Write(shape.name, AsString(file)), music);
        PeaksBuilder pieces(shape.channels, shape.bits, frames, kPeakColumns);
        static constexpr std::size_t kSizes[] = {3, 1, 4096, 77, SIZE_MAX};
        for (std::size_t i = 0; !stream.AtEnd(); ++i) {
            pieces.Add(stream.Next(kSizes[i % std::size(kSizes)]));
            EXPECT_LE(pieces.Peaks().Filled, pieces.Peaks().Columns);
        }
        const WaveformPeaks streamed = pieces.Take();
        EXPECT_EQ(streamed.Filled, expected.Columns);
        EXPECT_EQ(streamed.Low, expected.Low);
        EXPECT_EQ(streamed.High, expected.High);

        // Against the samples themselves: each channel's extremes over the whole sound, and
        // where there are fewer frames than columns, each column is its one frame.
        for (int channel = 0; channel < shape.channels; ++channel) {
            int low = INT_MAX, high = INT_MIN;
            std::vector<int> values;
            for (std::size_t f = 0; f < frames; ++f) {
                const std::uint8_t* at = whole.data() + (f * shape.channels + static_cast<std::size_t>(channel)) * sampleBytes;
                values.push_back(sampleBytes == 1 ? *at - 128 : static_cast<std::int16_t>(LoadLE16(at)));
                low = std::min(low, values.back());
                high = std::max(high, values.back());
            }
            const float scale = sampleBytes == 1 ? 128.0F : 32768.0F;
            const auto [peakLow, peakHigh] = streamed.Range(channel, 0, streamed.Columns);
            EXPECT_EQ(peakLow, static_cast<float>(low) / scale);
            EXPECT_EQ(peakHigh, static_cast<float>(high) / scale);
            for (std::size_t f = 0; frames <= kPeakColumns && f < frames; ++f) {
                const float value = static_cast<float>(values[f]) / scale;
                ASSERT_EQ(streamed.Range(channel, f, f + 1), std::make_pair(value, value)) << f;
            }
        }
    }
}

// A packed wave file of many copies of one coded block. The blocks carry their decoder's
// state over, so each copy decodes to other samples (a ramp running on and wrapping round,
// by an odd multiple of 64 a block so that it comes back to 0 only every 1,024 blocks): a
// seek that picks up with the wrong state gives wrong samples.
Bytes RepeatedBlockWac(std::uint32_t blocks)
{
    std::vector<std::int16_t> ramp(kWacSamplesPerBlock);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::int16_t>(64 * ((i + 1) * 301 / 256));
    WacDecoderState state;
    const Bytes block = EncodeWacBlock(std::span<const std::int16_t, kWacSamplesPerBlock>(ramp), state);
    const Front front = FrontFor(1, 16, std::size_t{blocks} * kWacSamplesPerBlock);
    Bytes file(front.Prefix.begin(), front.Prefix.end());
    StoreLE32(file.data(), blocks);
    file.insert(file.end(), front.Header.begin(), front.Header.end());
    file.reserve(file.size() + std::size_t{blocks} * (block.size() + 2));
    for (std::uint32_t i = 0; i < blocks; ++i) {
        file.push_back(static_cast<std::uint8_t>(block.size()));
        file.push_back(static_cast<std::uint8_t>(block.size() >> 8));
        file.insert(file.end(), block.begin(), block.end());
    }
    return file;
}

TEST(SoundStreamTest, ALongSoundTakesNoMoreMemoryAndSeeksWithTheRightState)
{
    // 100 MB of samples: the seek index fills and thins out more than once on the way.
    constexpr std::uint32_t kBlocks = 200000;
    TempDir dir;
    const std::string path = dir.Write("long.wac", AsString(RepeatedBlockWac(kBlocks)));
    SoundStream stream(path, false);
    const std::uint64_t size = stream.Summary().DecodedBytes;
    ASSERT_EQ(size, std::uint64_t{kBlocks} * kWacBlockBytes);

    const std::uint64_t places[] = {size - 700, 12345679, 1, 60000001, size / 2};
    std::vector<Bytes> seen(std::size(places));
    std::size_t held = 0;
    while (!stream.AtEnd()) {
        const std::uint64_t at = stream.Position();
        const auto piece = stream.Next(SIZE_MAX);
        if (held == 0)
            held = stream.BufferBytes();
        for (std::size_t i = 0; i < std::size(places); ++i)
            for (std::uint64_t p = std::max(at, places[i]); p < at + piece.size() && p < places[i] + 600; ++p)
                seen[i].push_back(piece[p - at]);
    }
    EXPECT_EQ(stream.BufferBytes(), held);
    EXPECT_LT(held, std::size_t{1} << 20);
    EXPECT_LE(stream.Index().Size(), SoundSeekIndex::kCapacity);
    EXPECT_GT(stream.Index().Spacing(), SoundSeekIndex::kFirstSpacing);
    EXPECT_GT(stream.Index().Size(), SoundSeekIndex::kCapacity / 2);

    for (std::size_t i = 0; i < std::size(places); ++i) {
        SCOPED_TRACE(places[i]);
        stream.Seek(places[i]);
        EXPECT_EQ(ReadRest(stream, 600), seen[i]);
    }
    // The decoded ramp does run on from copy to copy: the places differ.
    EXPECT_NE(seen[1], seen[3]);
    EXPECT_EQ(stream.BufferBytes(), held);
}

TEST(SoundStreamTest, ADamagedFileFailsNamingItself)
{
    TempDir dir;
    const Bytes wac = Encode(kShapes[0]);
    const Bytes was = Encode(kShapes[4]);
    struct Case {
        const char* name;
        Bytes bytes;
        const char* says;
        bool changedAfterOpening = false;
    };
    std::vector<Case> cases;
    // Still long enough for its block count, but the blocks run past the end.
    cases.push_back({"cut.wac", Bytes(wac.begin(), wac.end() - 100), "the file ends inside block"});
    Bytes huge = wac;
    StoreLE16(huge.data() + kWaveDataAt, 0xFFFF);
    cases.push_back({"huge.wac", huge, "which runs past the end of the file"});
    cases.push_back({"cut.was", Bytes(was.begin(), was.end() - 100), "the file ends inside the chunk at offset"});
    Bytes corrupt = was;
    StoreLE32(corrupt.data() + kWaveDataAt + 4, 0x7FFFFFFF);
    cases.push_back({"corrupt.was", corrupt, "Corrupt chunk at offset 52"});
    cases.push_back({"text.wac", Bytes(300, 'x'), "is not a Packed WAV file"});
    // A file cut short while the stream has it open.
    cases.push_back({"shrunk.wac", wac, "Stream read error", true});
    cases.push_back({"shrunk.was", was, "Stream read error", true});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.Write(c.name, AsString(c.bytes));
        const bool music = std::string(c.name).ends_with(".was");
        try {
            SoundStream stream(path, music);
            if (c.changedAfterOpening)
                std::filesystem::resize_file(path, c.bytes.size() / 2);
            ReadRest(stream);
            ADD_FAILURE() << "read to the end";
        } catch (const PackError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(path), std::string::npos) << message;
            EXPECT_NE(message.find(c.says), std::string::npos) << message;
        }
    }

    // Random bytes behind a true header: read to the end or refused, never more.
    std::mt19937 rng(7);
    for (int trial = 0; trial < 300; ++trial) {
        const bool music = trial % 2 == 1;
        const Front front = FrontFor(1 + trial % 2, 16, 1000);
        Bytes bytes(front.Prefix.begin(), front.Prefix.end());
        bytes.insert(bytes.end(), front.Header.begin(), front.Header.end());
        const Bytes tail = RandomBytes(rng, rng() % 3000);
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        if (!music)
            StoreLE32(bytes.data(), static_cast<std::uint32_t>(rng() % 40));
        const std::string path = dir.Write(music ? "random.was" : "random.wac", AsString(bytes));
        try {
            SoundStream stream(path, music);
            const Bytes read = ReadRest(stream);
            EXPECT_EQ(read.size(), stream.Summary().DecodedBytes);
        } catch (const PackError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

} // namespace
} // namespace packsmith::test
