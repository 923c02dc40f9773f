#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <numbers>
#include <random>
#include <stdexcept>
#include <span>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "tests/support/EdgeOfMemory.h"
#include "encode/BitWriter.h"
#include "tests/support/ReferenceAudioDecoders.h"
#include "decomp/WacDecoder.h"
#include "encode/WacEncoder.h"
#include "decomp/WasDecoder.h"
#include "encode/WasEncoder.h"
#include "encode/WaveHeader.h"

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

Bytes RandomBytes(std::mt19937& rng, std::size_t n, unsigned onesPercent = 50)
{
    std::bernoulli_distribution one(onesPercent / 100.0);
    Bytes bytes(n);
    for (auto& b : bytes)
        for (int bit = 0; bit < 8; ++bit)
            b = static_cast<std::uint8_t>((b << 1) | (one(rng) ? 1 : 0));
    return bytes;
}

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
        Bytes coded = RandomBytes(rng, 40 + round * 15);
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
        const Bytes content = RandomBytes(rng, n, std::array{50u, 90u, 3u, 0u}[n % 4]);
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
        ExpectWacMatchesReference(RandomBytes(rng, static_cast<std::size_t>(n), ones), state,
                                  "round " + std::to_string(round));
    }
}

TEST(AudioDecoderEquivalence, WacMatchesReferenceAcrossAFileOfBlocks)
{
    std::mt19937 rng(99);
    std::int16_t delta = 0, sample = 0;
    WacDecoderState state{};
    for (int block = 0; block < 500; ++block) {
        const Bytes coded = RandomBytes(rng, 33 + static_cast<std::size_t>(block % 321), block % 2 ? 80 : 40);
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
        const Bytes coded = RandomBytes(rng, n, ones);
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

double SnrDb(const Samples& original, const Samples& decoded)
{
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        signal += double(original[i]) * original[i];
        noise += (double(original[i]) - decoded[i]) * (double(original[i]) - decoded[i]);
    }
    return noise == 0 ? INFINITY : 10 * std::log10(signal / noise);
}

Samples Sine(std::size_t n, double amplitude)
{
    Samples s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(2 * std::numbers::pi * 440 * i / 22050.0)));
    return s;
}

Samples Noise(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> value(-32768, 32767);
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

void Report(const std::string& name, double snr)
{
    std::cout << "[ SNR      ] " << name << ": " << snr << " dB\n";
    ::testing::Test::RecordProperty(name, std::to_string(snr));
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

// Every decoded sample is at least as near its input as the best explicit delta that stays
// in range. A repeat may wrap around when that lands nearer, but never to a far-off value.
void ExpectNoWorseThanBestStep(const Samples& input, const Samples& decoded, const std::string& name)
{
    int previous = 0;
    for (std::size_t i = 0; i < input.size(); ++i) {
        int best = 65536;
        for (int steps = -511; steps <= 511; ++steps)
            if (const int v = previous + 64 * steps; v >= -32768 && v <= 32767)
                best = std::min(best, std::abs(input[i] - v));
        ASSERT_LE(std::abs(input[i] - decoded[i]), best) << name << " sample " << i;
        previous = decoded[i];
    }
}

TEST(WacEncoder, RoundTripsWithBoundedError)
{
    struct Case { std::string Name; Samples Input; double MinSnr; };
    const Case cases[] = {
        {"wac_sine_snr_db", Sine(22050, 12000), 45},
        {"wac_noise_snr_db", Noise(22050, 5), 10},
        {"wac_square_snr_db", Square(10000), 15}, // each edge needs two deltas
    };
    const WaveFormat format{2, 44100};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Samples all = DecodeWacFile(EncodeWacFile(c.Input, format), format);
        ASSERT_EQ(all.size(), (c.Input.size() + 255) / 256 * 256);
        for (std::size_t i = c.Input.size(); i < all.size(); ++i) // padded with the last sample
            EXPECT_LE(std::abs(all[i] - c.Input.back()), 64) << "padding " << i;
        const Samples decoded(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(c.Input.size()));
        ExpectNoWorseThanBestStep(c.Input, decoded, c.Name);
        const double snr = SnrDb(c.Input, decoded);
        Report(c.Name, snr);
        EXPECT_GE(snr, c.MinSnr);
    }
    const Samples square = Square(10000);
    const Samples decoded = DecodeWacFile(EncodeWacFile(square, format), format);
    for (std::size_t i = 0; i < square.size(); ++i) {
        // Two deltas reach any value, so the sign follows the input within two samples.
        if (i % 50 >= 2) {
            ASSERT_EQ(decoded[i] < 0, square[i] < 0) << "sample " << i;
        }
    }

    const Samples silence(1000, 0);
    EXPECT_EQ(DecodeWacFile(EncodeWacFile(silence, format), format), Samples(1024, 0));
    const Bytes empty = EncodeWacFile({}, format);
    EXPECT_EQ(empty.size(), 52u);
    EXPECT_TRUE(DecodeWacFile(empty, format).empty());
}

TEST(WacEncoder, EncoderStateFollowsTheDecoder)
{
    const Samples input = Noise(256 * 20, 9);
    WacDecoderState encoderState{}, decoderState{};
    for (std::size_t b = 0; b < 20; ++b) {
        const std::span<const std::int16_t, 256> block(input.data() + 256 * b, 256);
        const Bytes coded = EncodeWacBlock(block, encoderState);
        const auto [decoded, after] = Wac(coded, decoderState);
        decoderState = after;
        ASSERT_EQ(encoderState.Sample, decoderState.Sample) << "block " << b;
        ASSERT_EQ(encoderState.PreviousDelta, decoderState.PreviousDelta) << "block " << b;
    }
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

TEST(WasEncoder, RoundTripIsExactAfterQuantisation)
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
        x = static_cast<std::int16_t>(pick(rng) * 900 - 31000); // 70 values at random
    struct Case { std::string Name; Samples Input; };
    const Case cases[] = {{"was_sine_snr_db", Sine(22050, 12000)}, {"was_noise_snr_db", Noise(22050, 6)},
                          {"silence", Samples(1000, 0)},          {"repeated", repeated},
                          {"cycling", cycling},                    {"picks", picks},
                          {"extremes", {32767, -32768, 32760, 32759, 7, 8, -8, -9}}};
    const WaveFormat format{1, 22050};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Samples expected(c.Input.size());
        std::transform(c.Input.begin(), c.Input.end(), expected.begin(), QuantiseWasSample);
        const Bytes chunk = EncodeWasChunk(c.Input);
        const Samples decoded = ToSamples(Was(chunk, 2 * c.Input.size()));
        ASSERT_EQ(decoded, expected);
        const Samples fromFile = DecodeWasFile(EncodeWasFile(c.Input, format, 1000), format, 1000);
        ASSERT_EQ(fromFile, expected);
        if (c.Name.ends_with("snr_db"))
            Report(c.Name, SnrDb(c.Input, decoded));
    }
    EXPECT_TRUE(DecodeWasFile(EncodeWasFile({}, format), format, 4096).empty());
}

} // namespace
} // namespace packsmith::test
