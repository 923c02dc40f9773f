#include "decomp/WasDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "decomp/ByteOrder.h"
#include "decomp/WasTable.h"

namespace packsmith {

void DecodeWasChunk(std::span<const std::uint8_t> coded, std::span<std::uint8_t> output)
{
    WasTable table;
    std::uint64_t position = 0;
    const std::uint64_t endBit = 8 * std::uint64_t{coded.size()};

    // Windows are read in place while 8 bytes follow their start, near the end from a
    // zero-padded copy of the chunk's last bytes.
    const std::size_t inPlaceBytes = coded.size() >= 8 ? coded.size() - 8 : 0;
    std::array<std::uint8_t, 24> tail{};
    if (coded.size() > inPlaceBytes)
        std::memcpy(tail.data(), coded.data() + inPlaceBytes, coded.size() - inPlaceBytes);

    const std::size_t whole = output.size() / 2;
    std::size_t samples = table.DecodeCodes<4>(coded.data(), 0, 8 * std::uint64_t{inPlaceBytes}, output.data(), whole,
                                               position);
    samples += table.DecodeCodes<1>(tail.data(), inPlaceBytes, endBit, output.data() + 2 * samples, whole - samples,
                                    position);
    std::size_t written = 2 * samples;
    // An odd size takes the low byte of the sample that straddles its end.
    if (samples == whole && output.size() % 2 == 1) {
        std::array<std::uint8_t, 2> last{};
        const std::uint8_t* bytes = position < 8 * std::uint64_t{inPlaceBytes} ? coded.data() : tail.data();
        const std::size_t firstByte = bytes == coded.data() ? 0 : inPlaceBytes;
        if (table.DecodeCodes<1>(bytes, firstByte, endBit, last.data(), 1, position) == 1)
            output[written++] = last[0];
    }
    std::fill(output.begin() + static_cast<std::ptrdiff_t>(written), output.end(), 0);
}

} // namespace packsmith
