// A coded block of any length and any decoder state: 512 bytes out, nothing read or written
// outside the block and the output.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "formats/wac/WacDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    packsmith::WacDecoderState state;
    if (size >= 4) {
        state.PreviousDelta = static_cast<std::int16_t>(data[0] | data[1] << 8);
        state.Sample = static_cast<std::int16_t>(data[2] | data[3] << 8);
        data += 4;
        size -= 4;
    }
    const std::vector<std::uint8_t> block(data, data + size); // exactly sized, so overreads show
    std::array<std::uint8_t, packsmith::kWacBlockBytes> decoded;
    packsmith::DecodeWacBlock(block, decoded, state);
    return 0;
}
