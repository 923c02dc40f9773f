#include "encode/WacEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "encode/BitWriter.h"
#include "decomp/ByteOrder.h"

namespace packsmith {

namespace {

std::int16_t Wrap(int value) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(value)); }

// The explicit delta (in steps of 64, within +-511 steps) that brings sample nearest to
// target without leaving the 16-bit range: a sum that wrapped around would be far off.
int NearestSteps(int sample, int target)
{
    const auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    const int lowest = std::max(-511, -floorDiv(sample + 32768, 64));
    const int highest = std::min(511, floorDiv(32767 - sample, 64));
    return std::clamp(static_cast<int>(std::lround((target - sample) / 64.0)), lowest, highest);
}

std::uint32_t Payload(int steps) { return static_cast<std::uint32_t>(steps >= 0 ? steps : 512 - steps); }

} // namespace

std::vector<std::uint8_t> EncodeWacBlock(std::span<const std::int16_t, kWacSamplesPerBlock> samples,
                                         WacDecoderState& state)
{
    MsbBitWriter writer;
    writer.Put(0, 3); // three bits the decoder skips
    for (const std::int16_t target : samples) {
        const int repeated = Wrap(state.Sample + state.PreviousDelta);
        const int steps = NearestSteps(state.Sample, target);
        const int stepped = state.Sample + steps * 64;
        if (std::abs(target - repeated) <= std::abs(target - stepped)) {
            writer.Put(1, 1);
        } else {
            writer.Put(Payload(steps), 11);
            state.PreviousDelta = static_cast<std::int16_t>(steps * 64);
        }
        state.Sample = Wrap(state.Sample + state.PreviousDelta);
    }
    return writer.Bytes();
}

std::vector<std::uint8_t> EncodeWacFile(std::span<const std::int16_t> samples, WaveFormat format)
{
    const std::size_t blocks = (samples.size() + kWacSamplesPerBlock - 1) / kWacSamplesPerBlock;
    std::vector<std::uint8_t> file(kWaveDataAt);
    StoreLE32(file.data(), static_cast<std::uint32_t>(blocks));
    const auto header = MakeWaveHeader(format, static_cast<std::uint32_t>(blocks * kWacBlockBytes));
    std::copy(header.begin(), header.end(), file.begin() + kWavePrefixBytes);

    WacDecoderState state;
    std::array<std::int16_t, kWacSamplesPerBlock> block{};
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t first = b * kWacSamplesPerBlock;
        const std::size_t n = std::min(kWacSamplesPerBlock, samples.size() - first);
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(first), n, block.begin());
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(n), block.end(), block[n - 1]);
        const auto coded = EncodeWacBlock(block, state);
        const std::size_t at = file.size();
        file.resize(at + 2 + coded.size());
        StoreLE16(file.data() + at, static_cast<std::uint16_t>(coded.size()));
        std::copy(coded.begin(), coded.end(), file.begin() + static_cast<std::ptrdiff_t>(at + 2));
    }
    return file;
}

} // namespace packsmith
