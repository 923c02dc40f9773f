#include "formats/was/WasEncoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <stdexcept>

#include "core/ByteOrder.h"
#include "formats/BitWriter.h"
#include "formats/was/WasTable.h"

namespace packsmith {

namespace {

// The nearest sample with its low 4 bits clear, for any int (a dithered sample may leave
// the 16-bit range); halfway rounds away from 0.
std::int16_t Quantise(int value)
{
    const int top = value >= 0 ? (value + 8) >> 4 : -((8 - value) >> 4);
    return static_cast<std::int16_t>(std::clamp(top, -2048, 2047) * 16);
}

unsigned TopBits(std::int16_t sample) { return static_cast<std::uint16_t>(sample) >> 4; }

// The dither's noise. Made here rather than by a library engine so that a seed gives the
// same file with every build.
class DitherNoise {
public:
    explicit DitherNoise(std::uint32_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    // Triangular over -15..15 sixteenths of a 12-bit step: the difference of two uniform
    // values, which makes the hiss's power independent of the signal.
    int Next()
    {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        const auto bits = static_cast<unsigned>(state_ >> 56);
        return static_cast<int>(bits & 15) - static_cast<int>(bits >> 4);
    }

private:
    std::uint64_t state_;
};

// Codes chunks, following the decoder's table code by code.
class ChunkCoder {
public:
    ChunkCoder()
    {
        holders_.fill(0);
        holders_[0] = ~std::uint64_t{0}; // a fresh table holds 0 everywhere
    }

    void Code(std::span<const std::int16_t> samples, const WasEncoderOptions& options, std::uint32_t seed,
              std::int16_t* decoded, MsbBitWriter& out, const StopToken& stop = {})
    {
        // Samples between two looks at the stop request, in a chunk as long as a whole sound.
        constexpr std::size_t kStopStride = std::size_t{1} << 16;
        Restart();
        DitherNoise noise(seed);
        std::int16_t previous = 0; // what a repeat gives before any sample
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (i % kStopStride == kStopStride - 1)
                stop.ThrowIfStopped();
            const std::int16_t sample = Quantise(samples[i] + (options.Dither ? noise.Next() : 0));
            const unsigned top = TopBits(sample);
            if (sample == previous) {
                out.Put(3, 2);
                table_.Repeat();
            } else if (const std::uint64_t held = holders_[top]) {
                // Several entries hold a value only while the fresh table's zeros last; any
                // of them gives the sample, and the lowest is as good as another.
                const auto slot = static_cast<unsigned>(std::countr_zero(held));
                out.Put(0x80 | slot, 8);
                table_.Reference(slot);
            } else {
                const unsigned slot = table_.InsertSlot();
                holders_[TopBits(table_.SampleAt(slot))] &= ~(std::uint64_t{1} << slot);
                holders_[top] |= std::uint64_t{1} << slot;
                out.Put(top, 13);
                table_.Literal(sample);
            }
            previous = sample;
            if (decoded)
                decoded[i] = sample;
        }
    }

private:
    // Every chunk starts with a fresh table. Only the entries' values are cleared from the
    // index, not all 4096 of it.
    void Restart()
    {
        for (unsigned i = 0; i < WasTable::kEntries; ++i)
            holders_[TopBits(table_.SampleAt(i))] = 0;
        table_.Reset();
        holders_[0] = ~std::uint64_t{0};
    }

    WasTable table_;
    // For each 12-bit value, the table entries holding it, one bit each: a look-up per
    // sample instead of a search of the table.
    std::array<std::uint64_t, 4096> holders_;
};

// Each chunk's dither starts elsewhere: the same noise in every chunk would repeat at the
// chunk rate, which is heard as a tone.
std::uint32_t ChunkSeed(std::uint32_t seed, std::size_t chunk)
{
    return seed ^ static_cast<std::uint32_t>(chunk * 0x9E3779B9u);
}

} // namespace

std::int16_t QuantiseWasSample(std::int16_t sample) { return Quantise(sample); }

std::vector<std::uint8_t> EncodeWasChunk(std::span<const std::int16_t> samples)
{
    return EncodeWasChunk(samples, WasEncoderOptions{});
}

std::vector<std::uint8_t> EncodeWasChunk(std::span<const std::int16_t> samples, const WasEncoderOptions& options,
                                         std::span<std::int16_t> decoded)
{
    if (!decoded.empty() && decoded.size() < samples.size())
        throw std::invalid_argument("no place for every decoded sample");
    MsbBitWriter out;
    out.Reserve(samples.size() * 13 / 8 + 1);
    ChunkCoder coder;
    coder.Code(samples, options, options.DitherSeed, decoded.empty() ? nullptr : decoded.data(), out);
    return out.Bytes();
}

std::vector<std::uint8_t> EncodeWasFile(std::span<const std::int16_t> samples, WaveFormat format,
                                        std::size_t samplesPerChunk, const WasEncoderOptions& options)
{
    if (std::uint64_t{samples.size()} * 2 > std::numeric_limits<std::uint32_t>::max() - 36)
        throw std::length_error("too many samples for one packed music file");
    const std::array<std::uint8_t, kWavePrefixBytes> prefix{};
    const auto header = MakeWaveHeader(format, static_cast<std::uint32_t>(samples.size() * 2));
    return EncodeWasFile(samples, prefix, header, samplesPerChunk, options);
}

std::array<std::uint8_t, kWaveDataAt> WasFileFront(std::size_t sampleCount,
                                                   std::span<const std::uint8_t, kWavePrefixBytes> prefix,
                                                   std::span<const std::uint8_t, kWaveHeaderBytes> waveHeader,
                                                   std::size_t samplesPerChunk)
{
    if (samplesPerChunk == 0)
        throw std::invalid_argument("a packed music chunk needs at least one sample");
    // Readers take both chunk sizes as signed 32-bit numbers; a literal costs 13 bits.
    const std::uint64_t longest = std::min<std::uint64_t>(samplesPerChunk, sampleCount);
    if (longest * 13 / 8 + 1 > std::uint64_t{std::numeric_limits<std::int32_t>::max()})
        throw std::length_error("too many samples for one packed music chunk");
    std::array<std::uint8_t, kWaveDataAt> front;
    std::copy(prefix.begin(), prefix.end(), front.begin());
    std::copy(waveHeader.begin(), waveHeader.end(), front.begin() + kWavePrefixBytes);
    return front;
}

void EncodeWasChunks(std::span<const std::int16_t> samples, std::size_t firstChunk, std::size_t samplesPerChunk,
                     const WasEncoderOptions& options, std::vector<std::uint8_t>& out, const StopToken& stop)
{
    if (samplesPerChunk == 0)
        throw std::invalid_argument("a packed music chunk needs at least one sample");
    const std::uint64_t longest = std::min<std::uint64_t>(samplesPerChunk, samples.size());
    out.reserve(out.size() + samples.size() * 13 / 8 + (samples.size() / samplesPerChunk + 1) * 9);
    ChunkCoder coder;
    MsbBitWriter bits;
    bits.Reserve(longest * 13 / 8 + 1);
    std::size_t index = firstChunk;
    for (std::size_t first = 0; first < samples.size(); first += samplesPerChunk, ++index) {
        const auto chunk = samples.subspan(first, std::min(samplesPerChunk, samples.size() - first));
        bits.Clear();
        coder.Code(chunk, options, ChunkSeed(options.DitherSeed, index), nullptr, bits, stop);
        const auto& coded = bits.Bytes();
        const std::size_t at = out.size();
        out.resize(at + 8 + coded.size());
        StoreLE32(out.data() + at, static_cast<std::uint32_t>(coded.size()));
        StoreLE32(out.data() + at + 4, static_cast<std::uint32_t>(chunk.size() * 2));
        std::copy(coded.begin(), coded.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 8));
    }
}

std::vector<std::uint8_t> EncodeWasFile(std::span<const std::int16_t> samples,
                                        std::span<const std::uint8_t, kWavePrefixBytes> prefix,
                                        std::span<const std::uint8_t, kWaveHeaderBytes> waveHeader,
                                        std::size_t samplesPerChunk, const WasEncoderOptions& options)
{
    const auto front = WasFileFront(samples.size(), prefix, waveHeader, samplesPerChunk);
    std::vector<std::uint8_t> file(front.begin(), front.end());
    EncodeWasChunks(samples, 0, samplesPerChunk, options, file);
    return file;
}

} // namespace packsmith
