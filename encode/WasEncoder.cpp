#include "encode/WasEncoder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "encode/BitWriter.h"
#include "decomp/ByteOrder.h"
#include "decomp/WasTable.h"

namespace packsmith {

std::int16_t QuantiseWasSample(std::int16_t sample)
{
    const long top = std::clamp(std::lround(sample / 16.0), -2048L, 2047L);
    return static_cast<std::int16_t>(top * 16);
}

std::vector<std::uint8_t> EncodeWasChunk(std::span<const std::int16_t> samples)
{
    MsbBitWriter writer;
    WasTable table;
    // Where each 12-bit value was last put; checked against the table before use, since a
    // later literal may have overwritten the entry.
    std::array<std::uint8_t, 4096> slotOf{};
    std::int16_t previous = 0;
    for (const std::int16_t raw : samples) {
        const std::int16_t sample = QuantiseWasSample(raw);
        const auto top = static_cast<std::uint32_t>(static_cast<std::uint16_t>(sample) >> 4);
        if (sample == previous) {
            writer.Put(3, 2);
            table.Repeat();
        } else if (const unsigned slot = slotOf[top]; table.SampleAt(slot) == sample) {
            writer.Put(0x80 | slot, 8);
            table.Reference(slot);
        } else {
            writer.Put(top, 13);
            table.Literal(sample);
            slotOf[top] = static_cast<std::uint8_t>(table.LastSlot());
        }
        previous = sample;
    }
    return writer.Bytes();
}

std::vector<std::uint8_t> EncodeWasFile(std::span<const std::int16_t> samples, WaveFormat format,
                                        std::size_t samplesPerChunk)
{
    std::vector<std::uint8_t> file(kWaveDataAt);
    const auto header = MakeWaveHeader(format, static_cast<std::uint32_t>(samples.size() * 2));
    std::copy(header.begin(), header.end(), file.begin() + kWavePrefixBytes);
    for (std::size_t first = 0; first < samples.size(); first += samplesPerChunk) {
        const auto chunk = samples.subspan(first, std::min(samplesPerChunk, samples.size() - first));
        const auto coded = EncodeWasChunk(chunk);
        const std::size_t at = file.size();
        file.resize(at + 8 + coded.size());
        StoreLE32(file.data() + at, static_cast<std::uint32_t>(coded.size()));
        StoreLE32(file.data() + at + 4, static_cast<std::uint32_t>(chunk.size() * 2));
        std::copy(coded.begin(), coded.end(), file.begin() + static_cast<std::ptrdiff_t>(at + 8));
    }
    return file;
}

} // namespace packsmith
