#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "io/ByteBuffer.h"

namespace packsmith {

// Where decoded samples go: the next count bytes, for the decoder to fill before the next
// call. The extraction writes them to a ".wav"; the packer keeps them to compare.
class DecodedSink {
public:
    virtual ~DecodedSink() = default;
    virtual std::span<std::uint8_t> Extend(std::uint64_t count) = 0;
    // Appends bytes decoded elsewhere; a sink that writes them out may take them over
    // rather than copy them.
    virtual void Put(ByteBuffer&& bytes)
    {
        const auto space = Extend(bytes.size());
        std::copy(bytes.begin(), bytes.end(), space.begin());
    }
};

} // namespace packsmith
