#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <numeric>
#include <random>
#include <stdexcept>
#include <span>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "formats/BitWriter.h"
#include "formats/wac/WacDecoder.h"
#include "formats/wac/WacEncoder.h"
#include "formats/was/WasDecoder.h"
#include "formats/was/WasEncoder.h"
#include "formats/was/WasTable.h"
#include "formats/wave/WaveHeader.h"
#include "testing/Bytes.h"
#include "testing/EdgeOfMemory.h"
#include "testing/ReferenceAudioDecoders.h"

namespace packsmith::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Samples = std::vector<std::int16_t>;

Samples ToSamples(std::span<const std::uint8_t> bytes)
{
    Samples samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return samples;
}

std::uint32_t LE32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24); }
std::uint16_t LE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

struct WacResult {
    Samples Decoded;
    WacDecoderState State;
};

WacResult Wac(std::span<const std::uint8_t> coded, WacDecoderState state)
{
    std::array<std::uint8_t, kWacBlockBytes> out;
    out.fill(0xAA);
    DecodeWacBlock(coded, out, state);
    return {ToSamples(out), state};
}

Bytes Was(std::span<const std::uint8_t> coded, std::size_t decodedSize)
{
    Bytes out(decodedSize, 0xAA);
    DecodeWasChunk(coded, out);
    return out;
}

// Builds a coded wave block code by code, behind its three unread bits.
struct WacCodes {
    MsbBitWriter Writer;
    WacCodes() { Writer.Put(0, 3); }
    WacCodes& Explicit(unsigned payload) { Writer.Put(payload, 11); return *this; }
    WacCodes& Repeat(int count = 1) { for (int i = 0; i < count; ++i) Writer.Put(1, 1); return *this; }
    const Bytes& Done() const { return Writer.Bytes(); }
};

// Builds a coded music chunk code by code.
struct WasCodes {
    MsbBitWriter Writer;
    int Count = 0;
    WasCodes& Literal(unsigned payload) { Writer.Put(payload, 13); ++Count; return *this; }
    WasCodes& Repeat() { Writer.Put(3, 2); ++Count; return *this; }
    WasCodes& Reference(unsigned index) { Writer.Put(0x80 | index, 8); ++Count; return *this; }
    const Bytes& Done() const { return Writer.Bytes(); }
    // The samples of exactly the codes written, without those of the fill bits.
    Samples Decode() const { return ToSamples(Was(Writer.Bytes(), 2 * static_cast<std::size_t>(Count))); }
};

// ---------------------------------------------------------------------------------------
// Wave block decoder

TEST(WacDecoder, DecodesTheMixedExampleBlock)
{
    Bytes coded{0x00, 0x06, 0x80, 0xA0};
    coded.resize(350, 0);
    const auto [decoded, state] = Wac(coded, {0, 0});
    Samples expected{64, 128, 0, -128};
    expected.resize(256, -128);
    EXPECT_EQ(decoded, expected);
    EXPECT_EQ(state.PreviousDelta, 0);
    EXPECT_EQ(state.Sample, -128);
}

TEST(WacDecoder, AllRepeatBlockKeepsAddingThePreviousDelta)
{
    const Bytes coded(33, 0xFF);
    const auto [decoded, state] = Wac(coded, {64, 0});
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(decoded[i], 64 * (i + 1)) << "sample " << i;
    EXPECT_EQ(state.PreviousDelta, 64);
    EXPECT_EQ(state.Sample, 16384);
}

TEST(WacDecoder, PayloadsMapToSignAndMagnitudeDeltas)
{
    struct Case { unsigned Payload; int Delta; };
    for (const Case c : {Case{0, 0}, {512, 0}, {1, 64}, {2, 128}, {511, 32704}, {513, -64}, {514, -128},
                         {1023, -32704}}) {
        SCOPED_TRACE(c.Payload);
        // One explicit code, then repeats of its delta: sample k is (k + 1) x delta, wrapped.
        const auto [decoded, state] = Wac(WacCodes().Explicit(c.Payload).Repeat(255).Done(), {1000, 0});
        for (int k = 0; k < 256; ++k)
            ASSERT_EQ(decoded[k], static_cast<std::int16_t>((k + 1) * c.Delta)) << "sample " << k;
        EXPECT_EQ(state.PreviousDelta, c.Delta);
    }
}

TEST(WacDecoder, SumsWrapAroundInsteadOfClamping)
{
    struct Case { std::int16_t Start; unsigned Payload; std::int16_t First; };
    for (const Case c : {Case{32704, 1, -32768}, {-32768, 513, 32704}, {100, 511, -32732}}) {
        SCOPED_TRACE(c.Start);
        const auto [decoded, state] = Wac(WacCodes().Explicit(c.Payload).Done(), {0, c.Start});
        EXPECT_EQ(decoded[0], c.First);
        EXPECT_EQ(decoded[255], c.First); // the rest read as explicit zero deltas
        EXPECT_EQ(state.Sample, c.First);
    }
}

TEST(WacDecoder, FirstThreeBitsNeverChangeTheOutput)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        Bytes coded = RandomBits(rng, 40 + round * 15);
        coded[0] &= 0x1F;
        const WacResult base = Wac(coded, {-320, 1234});
        for (unsigned top = 1; top < 8; ++top) {
            Bytes changed = coded;
            changed[0] = static_cast<std::uint8_t>(changed[0] | (top << 5));
            const WacResult other = Wac(changed, {-320, 1234});
            ASSERT_EQ(other.Decoded, base.Decoded) << "round " << round << " top bits " << top;
            ASSERT_EQ(other.State.Sample, base.State.Sample);
            ASSERT_EQ(other.State.PreviousDelta, base.State.PreviousDelta);
        }
    }
}

TEST(WacDecoder, BitsPastTheBlockReadAsZero)
{
    // No bytes at all: 256 explicit zero deltas, not 256 repeats of the incoming delta.
    auto [empty, emptyState] = Wac({}, {64, 100});
    EXPECT_EQ(empty, Samples(256, 100));
    EXPECT_EQ(emptyState.PreviousDelta, 0);
    EXPECT_EQ(emptyState.Sample, 100);

    // 000 11111: five repeats, then explicit zeros.
    const Bytes fiveRepeats{0x1F};
    auto [repeats, repeatsState] = Wac(fiveRepeats, {64, 0});
    Samples expected{64, 128, 192, 256, 320};
    expected.resize(256, 320);
    EXPECT_EQ(repeats, expected);
    EXPECT_EQ(repeatsState.PreviousDelta, 0);

    // 000 0 1111|: a payload cut after four bits, 1111000000 = 960, delta (512 - 960) x 64.
    const Bytes cutPayload{0x0F};
    auto [cut, cutState] = Wac(cutPayload, {0, 0});
    EXPECT_EQ(cut, Samples(256, -28672));
    EXPECT_EQ(cutState.Sample, -28672);
}

TEST(WacDecoder, StateCarriesFromBlockToBlock)
{
    WacDecoderState state{};
    // Block 1: explicit delta -3 x 64 then 255 repeats; block 2 starts with repeats only.
    const auto first = Wac(WacCodes().Explicit(515).Repeat(255).Done(), state);
    ASSERT_EQ(first.Decoded[255], static_cast<std::int16_t>(-192 * 256));
    const auto second = Wac(Bytes(33, 0xFF), first.State);
    for (int k = 0; k < 256; ++k)
        ASSERT_EQ(second.Decoded[k], static_cast<std::int16_t>(-192 * (257 + k))) << "sample " << k;
    EXPECT_EQ(second.State.PreviousDelta, -192);
    // The bit position restarts at 3 for every block: the same bytes decode the same way.
    const auto again = Wac(WacCodes().Explicit(515).Repeat(255).Done(), {0, 0});
    EXPECT_EQ(again.Decoded, first.Decoded);
}

// ---------------------------------------------------------------------------------------
// Music chunk decoder

TEST(WasDecoder, DecodesTheExampleChunk)
{
    const Bytes coded{0x00, 0x0E, 0xFF, 0xF8, 0x04, 0x00, 0x40, 0x80};
    EXPECT_EQ(ToSamples(Was(coded, 12)), (Samples{16, 16, -16, 16, -32768, -32768}));
    // The fill bits after bit 57 start a literal of payload 0, stored only in a larger buffer;
    // beyond it the buffer is zeroed.
    EXPECT_EQ(ToSamples(Was(coded, 16)), (Samples{16, 16, -16, 16, -32768, -32768, 0, 0}));
}

TEST(WasDecoder, LiteralPayloadsAreTheSamplesTopTwelveBits)
{
    struct Case { unsigned Payload; std::int16_t Sample; };
    for (const Case c : {Case{0, 0}, {1, 16}, {0x123, 0x1230}, {2047, 32752}, {2048, -32768}, {4095, -16}}) {
        SCOPED_TRACE(c.Payload);
        WasCodes codes;
        codes.Literal(c.Payload);
        EXPECT_EQ(codes.Decode(), Samples{c.Sample});
    }
}

TEST(WasDecoder, RepeatsKeepALiteralInTheTable)
{
    for (int k : {0, 1, 2, 7, 40}) {
        SCOPED_TRACE(k);
        WasCodes codes;
        codes.Literal(100);
        for (int i = 0; i < k; ++i)
            codes.Repeat();
        codes.Literal(200).Reference(0).Reference(1);
        Samples expected(k + 1, 1600);
        // Without a repeat the second literal overwrites entry 0; with one it goes to entry 1.
        expected.insert(expected.end(), {3200, static_cast<std::int16_t>(k == 0 ? 3200 : 1600),
                                         static_cast<std::int16_t>(k == 0 ? 0 : 3200)});
        EXPECT_EQ(codes.Decode(), expected);
    }
}

TEST(WasDecoder, LiteralReplacesTheLeastRecentlyReferredEntry)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 10; ++round) {
        WasCodes codes;
        // Fill entries 0..63 with 16 x (i + 1); each literal is kept by a repeat.
        for (unsigned i = 0; i < 64; ++i)
            codes.Literal(i + 1).Repeat();
        std::array<unsigned, 64> order;
        for (unsigned i = 0; i < 64; ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), rng);
        for (unsigned i : order)
            codes.Reference(i);
        // order[0] was referred to longest ago; once it is referred to again, order[1] is.
        codes.Literal(1000).Reference(order[0]).Literal(1001);
        for (unsigned i = 0; i < 64; ++i)
            codes.Reference(i);
        const Samples decoded = codes.Decode();
        ASSERT_EQ(decoded.size(), 128u + 64 + 3 + 64);
        for (unsigned i = 0; i < 64; ++i) {
            const int expected = i == order[0] ? 16000 : i == order[1] ? 16016 : 16 * static_cast<int>(i + 1);
            EXPECT_EQ(decoded[128 + 64 + 3 + i], expected) << "round " << round << " entry " << i;
        }
    }
}

TEST(WasDecoder, RepeatFirstAndUnwrittenEntriesGiveZero)
{
    // A leading repeat gives 0 and refers to entry 0, so the literal after it goes to entry 1.
    WasCodes leadingRepeat;
    leadingRepeat.Repeat().Literal(5).Reference(0).Reference(1);
    EXPECT_EQ(leadingRepeat.Decode(), (Samples{0, 80, 0, 80}));

    WasCodes unwritten;
    unwritten.Literal(100).Reference(37).Repeat().Reference(0);
    EXPECT_EQ(unwritten.Decode(), (Samples{1600, 0, 0, 1600}));
}

TEST(WasDecoder, OutputIsCutOrZeroFilledToItsSize)
{
    WasCodes codes;
    codes.Literal(0x123).Literal(0xABC).Repeat(); // 0x1230, 0xABC0, 0xABC0
    const Bytes& coded = codes.Done();
    EXPECT_EQ(Was(coded, 1), Bytes{0x30});
    EXPECT_EQ(Was(coded, 3), (Bytes{0x30, 0x12, 0xC0}));
    EXPECT_EQ(Was(coded, 6), (Bytes{0x30, 0x12, 0xC0, 0xAB, 0xC0, 0xAB}));
    // 28 bits in 4 bytes: the 4 fill bits start a literal of payload 0; the rest is zeroed.
    EXPECT_EQ(Was(coded, 11), (Bytes{0x30, 0x12, 0xC0, 0xAB, 0xC0, 0xAB, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Was({}, 10), Bytes(10, 0));
}

// ---------------------------------------------------------------------------------------
// Bounds: input placed right before memory the process may not read, output inside guards.

constexpr std::size_t kGuard = 32;
constexpr std::uint8_t kGuardByte = 0xA5;

void ExpectGuardsIntact(const Bytes& buffer, std::size_t size)
{
    for (std::size_t i = 0; i < kGuard; ++i) {
        ASSERT_EQ(buffer[i], kGuardByte) << "written before the output at " << i;
        ASSERT_EQ(buffer[kGuard + size + i], kGuardByte) << "written past the output at " << i;
    }
}

TEST(AudioDecoderBounds, ReadAndWriteOnlyTheirOwnBytes)
{
    std::mt19937 rng(3);
    for (std::size_t n = 0; n <= 400; ++n) {
        SCOPED_TRACE(n);
        // Mostly zero bits make the wave decoder's codes reach the end of even the longest blocks.
        const Bytes content = RandomBits(rng, n, std::array{50u, 90u, 3u, 0u}[n % 4]);
        const EdgeOfMemory coded(content);

        Bytes wacOut(kGuard + kWacBlockBytes + kGuard, kGuardByte);
        WacDecoderState state{static_cast<std::int16_t>(64 * (n % 7)), static_cast<std::int16_t>(n * 97)};
        DecodeWacBlock(coded.Span(), std::span<std::uint8_t, kWacBlockBytes>(wacOut.data() + kGuard, kWacBlockBytes),
                       state);
        ExpectGuardsIntact(wacOut, kWacBlockBytes);

        for (std::size_t size : {std::size_t{0}, n, 2 * n + 1, static_cast<std::size_t>(MaxWasDecodedBytes(n))}) {
            Bytes wasOut(kGuard + size + kGuard, kGuardByte);
            DecodeWasChunk(coded.Span(), std::span<std::uint8_t>(wasOut.data() + kGuard, size));
            ExpectGuardsIntact(wasOut, size);
            Bytes expected(size);
            ReferenceDecodeWasChunk(content, expected);
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), wasOut.begin() + kGuard)) << "size " << size;
        }
    }
}

// ---------------------------------------------------------------------------------------
// The production decoders against the plain ones

void ExpectWacMatchesReference(const Bytes& coded, WacDecoderState state, const std::string& what)
{
    std::int16_t delta = state.PreviousDelta;
    std::int16_t sample = state.Sample;
    std::array<std::uint8_t, kWacBlockBytes> expected;
    ReferenceDecodeWacBlock(coded, expected.data(), delta, sample);
    const auto [decoded, after] = Wac(coded, state);
    ASSERT_EQ(decoded, ToSamples(expected)) << what;
    ASSERT_EQ(after.PreviousDelta, delta) << what;
    ASSERT_EQ(after.Sample, sample) << what;
}

TEST(AudioDecoderEquivalence, WacMatchesReferenceOnRandomBlocks)
{
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_int_distribution<int> length(0, 2000);
    std::uniform_int_distribution<int> shortLength(0, 360);
    for (int round = 0; round < 4000; ++round) {
        const int n = round % 2 ? length(rng) : shortLength(rng);
        const unsigned ones = std::array{50u, 90u, 97u, 10u}[round % 4];
        const WacDecoderState state{static_cast<std::int16_t>(64 * (sample(rng) / 64)),
                                    static_cast<std::int16_t>(sample(rng))};
        ExpectWacMatchesReference(RandomBits(rng, static_cast<std::size_t>(n), ones), state,
                                  "round " + std::to_string(round));
    }
}

TEST(AudioDecoderEquivalence, WacMatchesReferenceAcrossAFileOfBlocks)
{
    std::mt19937 rng(99);
    std::int16_t delta = 0, sample = 0;
    WacDecoderState state{};
    for (int block = 0; block < 500; ++block) {
        const Bytes coded = RandomBits(rng, 33 + static_cast<std::size_t>(block % 321), block % 2 ? 80 : 40);
        std::array<std::uint8_t, kWacBlockBytes> expected, decoded;
        ReferenceDecodeWacBlock(coded, expected.data(), delta, sample);
        DecodeWacBlock(coded, decoded, state);
        ASSERT_EQ(decoded, expected) << "block " << block;
        ASSERT_EQ(state.PreviousDelta, delta);
        ASSERT_EQ(state.Sample, sample);
    }
}

void ExpectWasMatchesReference(const Bytes& coded, std::size_t size, const std::string& what)
{
    Bytes expected(size, 0x55);
    ReferenceDecodeWasChunk(coded, expected);
    ASSERT_EQ(Was(coded, size), expected) << what << " size " << size;
}

TEST(AudioDecoderEquivalence, WasMatchesReferenceOnRandomChunks)
{
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> length(0, 2000);
    for (int round = 0; round < 4000; ++round) {
        const auto n = static_cast<std::size_t>(length(rng));
        const unsigned ones = std::array{50u, 85u, 95u, 20u}[round % 4];
        const Bytes coded = RandomBits(rng, n, ones);
        const auto most = static_cast<std::size_t>(MaxWasDecodedBytes(n));
        std::uniform_int_distribution<std::size_t> size(0, most + 40);
        const std::size_t sizes[] = {size(rng), size(rng) | 1, most, n};
        for (std::size_t s : sizes)
            ExpectWasMatchesReference(coded, s, "round " + std::to_string(round));
    }
}

// Streams made of whole codes in chosen proportions, literals from a small set of values
// so that references and the choice of the insert slot dominate.
Bytes BiasedWasStream(std::mt19937& rng, int codes, int literalPercent, int repeatPercent, unsigned distinctValues,
                      int& count)
{
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<unsigned> value(0, distinctValues - 1), index(0, 63);
    WasCodes stream;
    for (int i = 0; i < codes; ++i) {
        const int k = kind(rng);
        if (k < literalPercent)
            stream.Literal(value(rng) * 37 % 4096);
        else if (k < literalPercent + repeatPercent)
            stream.Repeat();
        else
            stream.Reference(index(rng));
    }
    count = stream.Count;
    return stream.Done();
}

TEST(AudioDecoderEquivalence, WasMatchesReferenceOnTableHeavyStreams)
{
    std::mt19937 rng(77);
    struct Mix { int Literal, Repeat; unsigned Values; };
    for (const Mix mix : {Mix{15, 70, 200}, Mix{10, 10, 100}, Mix{30, 30, 70}, Mix{5, 5, 4096}, Mix{50, 0, 64}}) {
        for (int round = 0; round < 40; ++round) {
            int count = 0;
            const int codes = round % 4 == 0 ? 30000 : 50 + round * 60;
            const Bytes coded = BiasedWasStream(rng, codes, mix.Literal, mix.Repeat, mix.Values, count);
            const std::string what = "mix " + std::to_string(mix.Literal) + "/" + std::to_string(mix.Repeat) +
                                     " round " + std::to_string(round);
            ExpectWasMatchesReference(coded, 2 * static_cast<std::size_t>(count), what);
            ExpectWasMatchesReference(coded, static_cast<std::size_t>(count) | 1, what);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Encoders

Samples Sine(std::size_t n, double amplitude)
{
    Samples s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * 440 * i / 22050.0)));
    return s;
}

Samples Noise(std::size_t n, unsigned seed, int low = -32768, int high = 32767)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(low, high);
    Samples s(n);
    for (auto& x : s)
        x = static_cast<std::int16_t>(value(rng));
    return s;
}

Samples Square(std::size_t n)
{
    Samples s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = (i / 50) % 2 ? -32768 : 32767;
    return s;
}

// What a decoder makes of random codes: samples as they come out of packed files.
Samples DecodedFromRandomWacCodes(std::mt19937& rng, std::size_t blocks)
{
    Samples out;
    WacDecoderState state{};
    for (std::size_t b = 0; b < blocks; ++b) {
        const auto [decoded, after] = Wac(RandomBits(rng, kWacMaxCodedBytes, 20 + 30 * (b % 3)), state);
        state = after;
        out.insert(out.end(), decoded.begin(), decoded.end());
    }
    return out;
}

void ExpectValidWaveHeader(const std::uint8_t* h, WaveFormat format, std::uint32_t dataBytes)
{
    EXPECT_EQ(std::string(h, h + 4), "RIFF");
    EXPECT_EQ(LE32(h + 4), 36 + dataBytes);
    EXPECT_EQ(std::string(h + 8, h + 16), "WAVEfmt ");
    EXPECT_EQ(LE32(h + 16), 16u);
    EXPECT_EQ(LE16(h + 20), 1u);
    EXPECT_EQ(LE16(h + 22), format.Channels);
    EXPECT_EQ(LE32(h + 24), format.SampleRate);
    EXPECT_EQ(LE32(h + 28), format.SampleRate * format.Channels * 2);
    EXPECT_EQ(LE16(h + 32), format.Channels * 2);
    EXPECT_EQ(LE16(h + 34), 16u);
    EXPECT_EQ(std::string(h + 36, h + 40), "data");
    EXPECT_EQ(LE32(h + 40), dataBytes);
}

// Walks a packed wave file block by block, checking its layout, and decodes it.
Samples DecodeWacFile(const Bytes& file, WaveFormat format)
{
    EXPECT_GE(file.size(), 52u);
    const std::uint32_t blocks = LE32(file.data());
    ExpectValidWaveHeader(file.data() + 8, format, 512 * blocks);
    Samples out;
    WacDecoderState state{};
    std::size_t at = 52;
    for (std::uint32_t b = 0; b < blocks; ++b) {
        EXPECT_LE(at + 2, file.size());
        const std::size_t size = LE16(file.data() + at);
        EXPECT_GE(size, 33u);
        EXPECT_LE(size, kWacMaxCodedBytes);
        EXPECT_LE(at + 2 + size, file.size());
        if (at + 2 + size > file.size())
            return out;
        const auto [decoded, after] = Wac(std::span(file).subspan(at + 2, size), state);
        state = after;
        out.insert(out.end(), decoded.begin(), decoded.end());
        at += 2 + size;
    }
    EXPECT_EQ(at, file.size()) << "bytes after the last block";
    return out;
}

Samples DecodeWasFile(const Bytes& file, WaveFormat format, std::size_t samplesPerChunk)
{
    EXPECT_GE(file.size(), 52u);
    std::vector<std::size_t> chunkSamples;
    Samples out;
    std::size_t at = 52;
    while (at + 8 <= file.size()) {
        const auto compressed = static_cast<std::int32_t>(LE32(file.data() + at));
        const auto decompressed = static_cast<std::int32_t>(LE32(file.data() + at + 4));
        EXPECT_GE(compressed, 0);
        EXPECT_LE(at + 8 + static_cast<std::size_t>(compressed), file.size());
        if (compressed < 0 || decompressed < 0 || at + 8 + static_cast<std::size_t>(compressed) > file.size())
            return out;
        EXPECT_EQ(decompressed % 2, 0);
        const Bytes decoded = Was(std::span(file).subspan(at + 8, static_cast<std::size_t>(compressed)),
                                  static_cast<std::size_t>(decompressed));
        const Samples s = ToSamples(decoded);
        out.insert(out.end(), s.begin(), s.end());
        chunkSamples.push_back(s.size());
        at += 8 + static_cast<std::size_t>(compressed);
    }
    EXPECT_EQ(at, file.size()) << "a partial chunk header at the end";
    for (std::size_t i = 0; i + 1 < chunkSamples.size(); ++i)
        EXPECT_EQ(chunkSamples[i], samplesPerChunk) << "chunk " << i;
    ExpectValidWaveHeader(file.data() + 8, format, static_cast<std::uint32_t>(2 * out.size()));
    return out;
}


int Wrap16(int v) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(v)); }

// The multiple of 64 nearest x among those a 16-bit sample can be.
int WacFloorSample(int x) { return std::clamp(64 * static_cast<int>(std::floor((x + 32) / 64.0)), -32768, 32704); }

// The fewest bytes that can code a block decoding to `decoded` after `before`: a repeat
// (1 bit) wherever the delta is the one before, an explicit code (11 bits) elsewhere.
std::size_t FewestWacBytes(const Samples& decoded, WacDecoderState before)
{
    std::size_t bits = 3;
    int previous = before.Sample, delta = before.PreviousDelta;
    for (const int y : decoded) {
        const int d = Wrap16(y - previous);
        bits += d == delta ? 1 : 11;
        delta = d;
        previous = y;
    }
    return (bits + 7) / 8;
}

TEST(WacEncoder, ReachesTheFloorInTheFewestBitsAndDecodesAsItSays)
{
    Samples ends; // both range ends, the sample beside them, and the jumps between them
    for (const int x : {-32768, 32767, -32768, -32768, 32767, 32736, -32737, -32736, 32704, 32705, -32768, 0, 32767})
        ends.push_back(static_cast<std::int16_t>(x));
    for (int i = 0; i < 500; ++i)
        ends.push_back(static_cast<std::int16_t>(i % 2 ? 32767 - i % 97 : -32768 + i % 89));
    Samples ties(1024); // halfway between two multiples of 64, either is the floor
    for (std::size_t i = 0; i < ties.size(); ++i)
        ties[i] = static_cast<std::int16_t>(64 * static_cast<int>((i * 37) % 1024) - 32768 + 32);
    ties.insert(ties.begin(), {128, 64, -32736}); // the upper half 32768 away, the lower one not
    std::mt19937 rng(3);
    // Misses: the input needs the unreachable delta somewhere (a sample 32768 from the last).
    struct Case { std::string Name; Samples Input; bool Misses; };
    const Case cases[] = {
        {"sine", Sine(22050, 32767), false},         {"quiet sine", Sine(22050, 300), false},
        {"noise", Noise(256 * 400, 5), true},        {"quiet noise", Noise(22050, 6, -400, 400), false},
        {"square", Square(10000), false},            {"ends", ends, true},
        {"ties", ties, false},                       {"from codes", DecodedFromRandomWacCodes(rng, 40), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WacDecoderState encoder{}, decoder{};
        Samples input = c.Input;
        input.resize((input.size() + 255) / 256 * 256, input.back());
        int misses = 0;
        for (std::size_t b = 0; b < input.size() / 256; ++b) {
            const std::span<const std::int16_t, 256> block(input.data() + 256 * b, 256);
            const WacDecoderState before = encoder;
            std::array<std::int16_t, 256> said;
            const Bytes coded = EncodeWacBlock(block, encoder, said);
            const auto [decoded, after] = Wac(coded, decoder);
            ASSERT_EQ(decoded, Samples(said.begin(), said.end())) << "block " << b;
            ASSERT_EQ(after.Sample, encoder.Sample);
            ASSERT_EQ(after.PreviousDelta, encoder.PreviousDelta);
            ASSERT_EQ(coded.size(), FewestWacBytes(decoded, before)) << "block " << b;
            int previous = before.Sample;
            for (std::size_t i = 0; i < 256; ++i) {
                const int x = block[i], floor = WacFloorSample(x);
                if (std::abs(x - decoded[i]) != std::abs(x - floor)) {
                    // Only the one delta no code gives may miss, and then by one step.
                    ASSERT_EQ(Wrap16(floor - previous), -32768) << "block " << b << " sample " << i;
                    ASSERT_EQ(std::abs(decoded[i] - floor), 64) << "block " << b << " sample " << i;
                    ++misses;
                }
                previous = decoded[i];
            }
            decoder = after;
        }
        if (c.Misses) {
            EXPECT_GT(misses, 0) << "the unreachable delta is never tried";
        }
        EXPECT_LE(misses, static_cast<int>(input.size() / 256)) << "far more misses than chance";
    }
}

TEST(WacEncoder, FilesDecodeAndReencodeExactly)
{
    const WaveFormat format{2, 44100};
    std::mt19937 rng(8);
    for (const Samples& input : {Noise(1000, 9), Sine(5000, 20000), DecodedFromRandomWacCodes(rng, 12)}) {
        const Bytes file = EncodeWacFile(input, format);
        const Samples first = DecodeWacFile(file, format);
        Samples padded = input; // with the last sample
        padded.resize((input.size() + 255) / 256 * 256, input.back());
        Samples blockwise(padded.size());
        WacDecoderState state{};
        for (std::size_t b = 0; b < padded.size() / 256; ++b)
            EncodeWacBlock(std::span<const std::int16_t, 256>(padded.data() + 256 * b, 256), state,
                           std::span<std::int16_t, 256>(blockwise.data() + 256 * b, 256));
        ASSERT_EQ(first, blockwise);
        if (input.size() % 256 == 0) { // a wave file's samples as they came out of a packed one
            EXPECT_EQ(first, input);
        }
        const Bytes again = EncodeWacFile(first, format);
        EXPECT_EQ(DecodeWacFile(again, format), first);
        EXPECT_EQ(again, file) << "the codes of the floor's samples are fixed";

        // A packer's own leading bytes and header; the block count goes over the first four.
        std::array<std::uint8_t, 8> prefix;
        std::array<std::uint8_t, 44> header;
        std::iota(prefix.begin(), prefix.end(), std::uint8_t{1});
        std::iota(header.begin(), header.end(), std::uint8_t{100});
        const Bytes kept = EncodeWacFile(input, prefix, header);
        EXPECT_EQ(LE32(kept.data()), LE32(file.data()));
        EXPECT_EQ(Bytes(kept.begin() + 4, kept.begin() + 8), Bytes(prefix.begin() + 4, prefix.end()));
        EXPECT_EQ(Bytes(kept.begin() + 8, kept.begin() + 52), Bytes(header.begin(), header.end()));
        EXPECT_EQ(Bytes(kept.begin() + 52, kept.end()), Bytes(file.begin() + 52, file.end()));
    }
    const Bytes empty = EncodeWacFile({}, format);
    EXPECT_EQ(empty.size(), 52u);
    EXPECT_TRUE(DecodeWacFile(empty, format).empty());
}

TEST(WasEncoder, QuantisesToTheNearestTwelveBitValue)
{
    for (int x = -32768; x <= 32767; ++x) {
        const int q = QuantiseWasSample(static_cast<std::int16_t>(x));
        ASSERT_EQ(q % 16, 0) << x;
        const int nearest = std::min(32752, static_cast<int>(std::floor((x + 8) / 16.0)) * 16);
        ASSERT_LE(std::abs(q - x), std::abs(nearest - x)) << x;
    }
}

// The bits of the plain rule: a repeat for the sample before, a reference to the first
// entry holding the sample, else a literal; the table kept by the decoder's own rules.
std::uint64_t GreedyWasBits(const Samples& quantised)
{
    WasTable table;
    std::uint64_t bits = 0;
    std::int16_t previous = 0;
    for (const std::int16_t s : quantised) {
        unsigned i = 0;
        while (i < WasTable::kEntries && table.SampleAt(i) != s)
            ++i;
        if (s == previous) {
            bits += 2;
            table.Repeat();
        } else if (i < WasTable::kEntries) {
            bits += 8;
            table.Reference(i);
        } else {
            bits += 13;
            table.Literal(s);
        }
        previous = s;
    }
    return bits;
}

TEST(WasEncoder, DecodesAsItSaysInNoMoreBitsThanTheGreedyRule)
{
    Samples repeated(3000);
    for (std::size_t i = 0; i < repeated.size(); ++i)
        repeated[i] = static_cast<std::int16_t>(i / 37 % 3 * 1000 - 1000);
    Samples cycling(5000);
    for (std::size_t i = 0; i < cycling.size(); ++i)
        cycling[i] = static_cast<std::int16_t>((i * 7 % 90) * 320 - 14000); // 90 values in turn
    Samples picks(8000);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> pick(0, 69);
    for (auto& x : picks)
        x = static_cast<std::int16_t>(pick(rng) * 900 - 31000); // 70 values at random, 0 among them
    Samples zeros; // 0 after the first entry was overwritten: still in the other 63
    for (int i = 0; i < 300; ++i)
        zeros.push_back(static_cast<std::int16_t>(i % 3 == 0 ? 0 : 16 * (i % 7 + 1)));
    struct Case { std::string Name; Samples Input; };
    const Case cases[] = {{"sine", Sine(22050, 12000)}, {"noise", Noise(22050, 6)},
                          {"quiet noise", Noise(5000, 4, -300, 300)}, {"silence", Samples(1000, 0)},
                          {"repeated", repeated}, {"cycling", cycling}, {"picks", picks}, {"zeros", zeros},
                          {"extremes", {32767, -32768, 32760, 32759, 7, 8, -8, -9}}};
    const WaveFormat format{1, 22050};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Samples expected(c.Input.size());
        std::transform(c.Input.begin(), c.Input.end(), expected.begin(), QuantiseWasSample);
        Samples said(c.Input.size());
        const Bytes chunk = EncodeWasChunk(c.Input, {}, said);
        EXPECT_EQ(said, expected);
        ASSERT_EQ(ToSamples(Was(chunk, 2 * c.Input.size())), expected);
        EXPECT_LE(chunk.size(), (GreedyWasBits(expected) + 7) / 8);
        EXPECT_EQ(DecodeWasFile(EncodeWasFile(c.Input, format, 1000), format, 1000), expected);

        // Dither: what the encoder says still decodes, within a step and a half of the input.
        const WasEncoderOptions dither{true, 77};
        const Bytes dithered = EncodeWasChunk(c.Input, dither, said);
        ASSERT_EQ(ToSamples(Was(dithered, 2 * c.Input.size())), said);
        for (std::size_t i = 0; i < said.size(); ++i)
            ASSERT_LE(std::abs(said[i] - c.Input[i]), 23) << i;
    }
    EXPECT_TRUE(DecodeWasFile(EncodeWasFile({}, format), format, 4096).empty());

    // A level below a step is lost to rounding; with dither it survives as the average.
    const Samples faint(20000, 5);
    Samples said(faint.size());
    EncodeWasChunk(faint, {}, said);
    EXPECT_EQ(said, Samples(faint.size(), 0));
    EncodeWasChunk(faint, {true, 1}, said);
    double sum = 0;
    for (const int s : said)
        sum += s;
    EXPECT_NEAR(sum / static_cast<double>(said.size()), 5.0, 0.5);
}

TEST(WasEncoder, ReencodesDecodedFilesByteForByte)
{
    const WaveFormat format{2, 11025};
    std::mt19937 rng(12);
    Samples fromCodes; // what a decoder makes of random codes
    for (int c = 0; c < 5; ++c) {
        const Samples s = ToSamples(Was(RandomBits(rng, 900, 60), 2000));
        fromCodes.insert(fromCodes.end(), s.begin(), s.end());
    }
    for (const std::size_t perChunk : {std::size_t{7}, std::size_t{1000}, std::size_t{4096}}) {
        SCOPED_TRACE(perChunk);
        for (const Samples& input : {Sine(9000, 25000), Noise(6000, 13), fromCodes}) {
            const Bytes file = EncodeWasFile(input, format, perChunk);
            const Samples decoded = DecodeWasFile(file, format, perChunk);
            EXPECT_EQ(EncodeWasFile(decoded, format, perChunk), file);
        }
        EXPECT_EQ(DecodeWasFile(EncodeWasFile(fromCodes, format, perChunk), format, perChunk), fromCodes);
    }

    // A packer's own leading bytes and header, copied as they are.
    std::array<std::uint8_t, 8> prefix;
    std::array<std::uint8_t, 44> header;
    std::iota(prefix.begin(), prefix.end(), std::uint8_t{1});
    std::iota(header.begin(), header.end(), std::uint8_t{100});
    const Samples input = Sine(3000, 9000);
    const Bytes file = EncodeWasFile(input, format, 700);
    const Bytes kept = EncodeWasFile(input, prefix, header, 700);
    EXPECT_EQ(Bytes(kept.begin(), kept.begin() + 8), Bytes(prefix.begin(), prefix.end()));
    EXPECT_EQ(Bytes(kept.begin() + 8, kept.begin() + 52), Bytes(header.begin(), header.end()));
    EXPECT_EQ(Bytes(kept.begin() + 52, kept.end()), Bytes(file.begin() + 52, file.end()));
    // Chunks of no samples would never end the file.
    EXPECT_THROW(EncodeWasFile(input, format, 0), std::invalid_argument);
}

} // namespace
} // namespace packsmith::test
