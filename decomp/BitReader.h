#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "decomp/ByteOrder.h"

namespace packsmith {

// Reads the bit streams of an image record least significant bit first: bit j of a stream
// is bit j mod 8 of its byte j div 8, and a value's first bit is its least significant.
// 64 bits are buffered and topped up from 8-byte little-endian words, so a value costs a
// mask and a shift. Bits past the end of the record read as 0; nothing past it is read.
class BitReader {
public:
    BitReader(std::span<const std::uint8_t> record, std::uint64_t offset)
        : data_(record.data()), size_(record.size()),
          position_(offset < record.size() ? static_cast<std::size_t>(offset) : record.size())
    {
    }

    // The next n bits (0 to 16) as an unsigned value.
    std::uint32_t Take(unsigned n)
    {
        if (available_ < n)
            TopUp();
        const auto value = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << n) - 1));
        bits_ >>= n;
        available_ -= n;
        return value;
    }

    // At least the next 56 bits, lowest first, without moving past them.
    std::uint64_t PeekWord()
    {
        if (available_ < 56)
            TopUp();
        return bits_;
    }

    // The next n bits (0 to 16) without moving past them; Skip(n) then moves past them.
    std::uint32_t Peek(unsigned n)
    {
        if (available_ < n)
            TopUp();
        return static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << n) - 1));
    }
    void Skip(unsigned n) // n at most what the last peek made available
    {
        bits_ >>= n;
        available_ -= n;
    }

private:
    // Fills the buffer to at least 56 bits: a whole word where 8 bytes remain, byte by byte
    // (zeros past the end) where they do not.
    void TopUp()
    {
        if (size_ - position_ >= 8) {
            bits_ |= LoadLE64(data_ + position_) << available_;
            position_ += (63 - available_) / 8;
            available_ |= 56;
            return;
        }
        while (available_ <= 56) {
            const std::uint64_t byte = position_ < size_ ? data_[position_++] : 0;
            bits_ |= byte << available_;
            available_ += 8;
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_; // the next byte not yet in the buffer
    std::uint64_t bits_ = 0;
    unsigned available_ = 0;
};

} // namespace packsmith
