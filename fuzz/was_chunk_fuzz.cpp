// A coded chunk of any length and any decoded size the handler would accept (up to 8 bytes
// for each coded byte, plus one).
#include <cstdint>
#include <span>
#include <vector>

#include "formats/was/WasDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint32_t wanted = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    const std::vector<std::uint8_t> coded(data + 4, data + size);
    const std::uint64_t limit = packsmith::MaxWasDecodedBytes(coded.size());
    std::vector<std::uint8_t> output(static_cast<std::size_t>(wanted % (limit + 1)));
    packsmith::DecodeWasChunk(coded, output);
    return 0;
}
