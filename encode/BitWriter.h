#pragma once

#include <cstdint>
#include <vector>

namespace packsmith {

// Appends fields to a bit stream: most significant bit first (as the audio decoders read
// them) or least significant bit first (as the image record's streams are read).
template <bool MostSignificantFirst>
class BitWriter {
public:
    void Put(std::uint32_t value, unsigned bits)
    {
        for (unsigned k = 0; k < bits; ++k) {
            const unsigned bit = MostSignificantFirst ? bits - 1 - k : k;
            if (used_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> bit) & 1)
                bytes_.back() |= static_cast<std::uint8_t>(MostSignificantFirst ? 0x80 >> (used_ % 8) : 1u << (used_ % 8));
            ++used_;
        }
    }
    std::uint64_t BitCount() const { return used_; }
    // The bytes written so far; the last one is filled up with zero bits.
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t used_ = 0;
};

using MsbBitWriter = BitWriter<true>;
using LsbBitWriter = BitWriter<false>;

} // namespace packsmith
