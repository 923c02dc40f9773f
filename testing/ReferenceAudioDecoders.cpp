#include "testing/ReferenceAudioDecoders.h"

#include <array>
#include <cstddef>

namespace packsmith::test {
namespace {

std::uint8_t ByteOrZero(std::span<const std::uint8_t> bytes, std::size_t index)
{
    return index < bytes.size() ? bytes[index] : 0;
}

// The 32 bits starting at byte index, first byte most significant.
std::uint32_t BigEndianWindow(std::span<const std::uint8_t> bytes, std::size_t index)
{
    std::uint32_t window = 0;
    for (std::size_t i = 0; i < 4; ++i)
        window = (window << 8) | ByteOrZero(bytes, index + i);
    return window;
}

// The n-bit field whose most significant bit is at bit position p, read one bit at a time.
std::uint32_t Field(std::span<const std::uint8_t> bytes, std::int32_t p, int n)
{
    std::uint32_t value = 0;
    for (int i = 0; i < n; ++i) {
        const auto position = static_cast<std::size_t>(p + i);
        const unsigned bit = (ByteOrZero(bytes, position / 8) >> (7 - position % 8)) & 1u;
        value = (value << 1) | bit;
    }
    return value;
}

} // namespace

void ReferenceDecodeWacBlock(std::span<const std::uint8_t> coded, std::uint8_t* out512, std::int16_t& previousDelta,
                             std::int16_t& sample)
{
    std::int16_t delta = previousDelta;
    std::int16_t current = sample;
    std::size_t p = 3;
    for (int n = 0; n < 256; ++n) {
        const std::uint32_t window = BigEndianWindow(coded, p / 8);
        const unsigned shift = static_cast<unsigned>(p % 8);
        const bool repeat = ((window >> (31 - shift)) & 1u) != 0;
        if (repeat) {
            p += 1;
        } else {
            const std::uint32_t v = (window << (shift + 1)) >> 22;
            const int d = v >= 512 ? 512 - static_cast<int>(v) : static_cast<int>(v);
            delta = static_cast<std::int16_t>(d * 64);
            p += 11;
        }
        current = static_cast<std::int16_t>(static_cast<std::uint16_t>(current) + static_cast<std::uint16_t>(delta));
        const auto bits = static_cast<std::uint16_t>(current);
        out512[2 * n] = static_cast<std::uint8_t>(bits & 0xFF);
        out512[2 * n + 1] = static_cast<std::uint8_t>(bits >> 8);
    }
    previousDelta = delta;
    sample = current;
}

void ReferenceDecodeWasChunk(std::span<const std::uint8_t> coded, std::span<std::uint8_t> output)
{
    struct Entry {
        std::int16_t Sample = 0;
        std::int32_t LastUse = 0;
    };
    std::array<Entry, 64> recent{};
    std::uint8_t insertSlot = 0;
    std::uint8_t lastSlot = 0;
    std::int32_t p = 0;
    const auto end = static_cast<std::int32_t>(8 * coded.size());

    for (auto& byte : output)
        byte = 0;
    std::size_t place = 0;
    std::int16_t previous = 0;

    auto chooseInsertSlot = [&] {
        std::uint8_t best = 0;
        for (std::uint8_t i = 1; i < 64; ++i)
            if (recent[i].LastUse < recent[best].LastUse)
                best = i;
        insertSlot = best;
    };

    while (p < end) {
        std::int16_t s = 0;
        if (Field(coded, p, 1) == 0) {
            const std::uint32_t v = Field(coded, p + 1, 12);
            s = static_cast<std::int16_t>(static_cast<std::uint16_t>(v << 4));
            recent[insertSlot].Sample = s;
            lastSlot = insertSlot;
            p += 13;
        } else if (Field(coded, p + 1, 1) == 1) {
            p += 2;
            s = previous;
            recent[lastSlot].LastUse = p;
            if (lastSlot == insertSlot)
                chooseInsertSlot();
        } else {
            const auto i = static_cast<std::uint8_t>(Field(coded, p + 2, 6));
            s = recent[i].Sample;
            p += 8;
            lastSlot = i;
            recent[i].LastUse = p;
            if (i == insertSlot)
                chooseInsertSlot();
        }
        previous = s;
        const auto bits = static_cast<std::uint16_t>(s);
        if (place < output.size())
            output[place] = static_cast<std::uint8_t>(bits & 0xFF);
        if (place + 1 < output.size())
            output[place + 1] = static_cast<std::uint8_t>(bits >> 8);
        place += 2;
    }
}

} // namespace packsmith::test
