#include "formats/wac/WacEncoder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "core/ByteOrder.h"

namespace packsmith {

namespace {

int Wrap(int value) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(value)); }

// The 11-bit code of an explicit delta: flag 0, then sign and magnitude in steps of 64.
std::uint32_t ExplicitCode(int steps) { return static_cast<std::uint32_t>(steps >= 0 ? steps : 512 - steps); }

// A block's codes, gathered in a register and stored a byte at a time: a block is coded
// for every 256 samples, and a growing vector per field would cost more than the choice.
class BlockBits {
public:
    void Put(std::uint32_t code, unsigned bits)
    {
        pending_ = (pending_ << bits) | code;
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            bytes_[size_++] = static_cast<std::uint8_t>(pending_ >> count_);
        }
    }
    std::span<const std::uint8_t> Finish()
    {
        if (count_ > 0)
            bytes_[size_++] = static_cast<std::uint8_t>(pending_ << (8 - count_));
        count_ = 0;
        return {bytes_.data(), size_};
    }

private:
    std::array<std::uint8_t, kWacMaxCodedBytes> bytes_;
    std::uint64_t pending_ = 0;
    unsigned count_ = 0;
    std::size_t size_ = 0;
};

// Codes one block into bits; decoded, when given, receives what the decoder will produce.
void CodeBlock(const std::int16_t* samples, WacDecoderState& state, std::int16_t* decoded, BlockBits& bits)
{
    bits.Put(0, 3); // three bits the decoder skips
    int sample = state.Sample;
    int delta = state.PreviousDelta;
    // Every sample the decoder can reach lies on the grid of 64 through the running sample,
    // which is 0 itself for every block that comes after the start of a file.
    const int offset = sample & 63;
    const int highest = 32704 + offset;
    const int lowest = -32768 + offset;
    for (std::size_t i = 0; i < kWacSamplesPerBlock; ++i) {
        const int x = samples[i];
        // The nearest grid sample in range. Halfway between two (the tie), both are as near,
        // and a repeat landing on either saves ten bits at no cost.
        int target = ((x - offset + 32) & ~63) + offset;
        target = target > highest ? target - 64 : target < lowest ? target + 64 : target;
        const bool tie = ((x - offset) & 63) == 32 && target == x + 32 && target - 64 >= lowest;
        const int repeated = Wrap(sample + delta);
        bool repeat = repeated == target || (tie && repeated == target - 64);
        // Otherwise the half of a tie whose delta is nearer the one before: on a smooth
        // signal the deltas change slowly, so the next sample's repeat is likelier.
        if (tie && !repeat && std::abs(Wrap(target - 64 - sample) - delta) < std::abs(Wrap(target - sample) - delta))
            target -= 64;
        int steps = Wrap(target - sample) / 64;
        if (!repeat && steps == -512) {
            // The one delta no code gives. Half a tie is as good; otherwise the better of
            // the grid samples beside the target, judged by what the decoder gives back
            // (next to a range end, one of them wraps to the other end).
            if (tie) {
                const int other = target == x + 32 ? target - 64 : target + 64;
                steps = Wrap(other - sample) / 64;
            } else {
                const int below = Wrap(target - 64);
                const int above = Wrap(target + 64);
                const int best = std::min(std::abs(x - below), std::abs(x - above));
                repeat = std::abs(x - repeated) == best;
                steps = std::abs(x - below) == best ? Wrap(below - sample) / 64 : Wrap(above - sample) / 64;
            }
        }
        if (repeat) {
            bits.Put(1, 1);
        } else {
            bits.Put(ExplicitCode(steps), 11);
            delta = steps * 64;
        }
        sample = Wrap(sample + delta);
        if (decoded)
            decoded[i] = static_cast<std::int16_t>(sample);
    }
    state.Sample = static_cast<std::int16_t>(sample);
    state.PreviousDelta = static_cast<std::int16_t>(Wrap(delta));
}

std::vector<std::uint8_t> EncodeBlock(std::span<const std::int16_t, kWacSamplesPerBlock> samples,
                                      WacDecoderState& state, std::int16_t* decoded)
{
    BlockBits bits;
    CodeBlock(samples.data(), state, decoded, bits);
    const auto coded = bits.Finish();
    return {coded.begin(), coded.end()};
}

} // namespace

std::vector<std::uint8_t> EncodeWacBlock(std::span<const std::int16_t, kWacSamplesPerBlock> samples,
                                         WacDecoderState& state)
{
    return EncodeBlock(samples, state, nullptr);
}

std::vector<std::uint8_t> EncodeWacBlock(std::span<const std::int16_t, kWacSamplesPerBlock> samples,
                                         WacDecoderState& state, std::span<std::int16_t, kWacSamplesPerBlock> decoded)
{
    return EncodeBlock(samples, state, decoded.data());
}

std::vector<std::uint8_t> EncodeWacFile(std::span<const std::int16_t> samples, WaveFormat format)
{
    const std::uint64_t blocks = (std::uint64_t{samples.size()} + kWacSamplesPerBlock - 1) / kWacSamplesPerBlock;
    // The header counts the padded blocks' bytes, and its RIFF size 36 more, in 32 bits.
    if (blocks * kWacBlockBytes > std::numeric_limits<std::uint32_t>::max() - 36)
        throw std::length_error("too many samples for one packed wave file");
    const std::array<std::uint8_t, kWavePrefixBytes> prefix{};
    const auto header = MakeWaveHeader(format, static_cast<std::uint32_t>(blocks * kWacBlockBytes));
    return EncodeWacFile(samples, prefix, header);
}

std::array<std::uint8_t, kWaveDataAt> WacFileFront(std::size_t sampleCount,
                                                   std::span<const std::uint8_t, kWavePrefixBytes> prefix,
                                                   std::span<const std::uint8_t, kWaveHeaderBytes> waveHeader)
{
    const std::uint64_t blocks = (std::uint64_t{sampleCount} + kWacSamplesPerBlock - 1) / kWacSamplesPerBlock;
    if (blocks > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many samples for one packed wave file");
    std::array<std::uint8_t, kWaveDataAt> front;
    std::copy(prefix.begin(), prefix.end(), front.begin());
    StoreLE32(front.data(), static_cast<std::uint32_t>(blocks));
    std::copy(waveHeader.begin(), waveHeader.end(), front.begin() + kWavePrefixBytes);
    return front;
}

void EncodeWacBlocks(std::span<const std::int16_t> samples, WacDecoderState& state, std::vector<std::uint8_t>& out)
{
    const std::size_t blocks = (samples.size() + kWacSamplesPerBlock - 1) / kWacSamplesPerBlock;
    // Room for the worst case, so the bytes never move while they grow.
    out.reserve(out.size() + blocks * (2 + kWacMaxCodedBytes));
    std::array<std::int16_t, kWacSamplesPerBlock> padded;
    for (std::size_t first = 0; first < samples.size(); first += kWacSamplesPerBlock) {
        const std::size_t n = std::min(kWacSamplesPerBlock, samples.size() - first);
        const std::int16_t* block = samples.data() + first;
        if (n < kWacSamplesPerBlock) {
            std::copy_n(block, n, padded.begin());
            std::fill(padded.begin() + static_cast<std::ptrdiff_t>(n), padded.end(), block[n - 1]);
            block = padded.data();
        }
        BlockBits bits;
        CodeBlock(block, state, nullptr, bits);
        const auto coded = bits.Finish();
        const std::size_t at = out.size();
        out.resize(at + 2 + coded.size());
        StoreLE16(out.data() + at, static_cast<std::uint16_t>(coded.size()));
        std::copy(coded.begin(), coded.end(), out.begin() + static_cast<std::ptrdiff_t>(at + 2));
    }
}

std::vector<std::uint8_t> EncodeWacFile(std::span<const std::int16_t> samples,
                                        std::span<const std::uint8_t, kWavePrefixBytes> prefix,
                                        std::span<const std::uint8_t, kWaveHeaderBytes> waveHeader)
{
    const auto front = WacFileFront(samples.size(), prefix, waveHeader);
    std::vector<std::uint8_t> file(front.begin(), front.end());
    WacDecoderState state;
    EncodeWacBlocks(samples, state, file);
    return file;
}

} // namespace packsmith
