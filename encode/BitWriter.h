#pragma once

#include <cstdint>
#include <vector>

namespace packsmith {

// Appends fields most significant bit first, as the audio decoders read them.
class MsbBitWriter {
public:
    void Put(std::uint32_t value, unsigned bits)
    {
        for (unsigned i = bits; i-- > 0;) {
            if (used_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= static_cast<std::uint8_t>(0x80 >> (used_ % 8));
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

// Appends fields least significant bit first, as the image record's bit streams are read.
class LsbBitWriter {
public:
    void Put(std::uint32_t value, unsigned bits)
    {
        for (unsigned i = 0; i < bits; ++i) {
            if (used_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= static_cast<std::uint8_t>(1u << (used_ % 8));
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

} // namespace packsmith
