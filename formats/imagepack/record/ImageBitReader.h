#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/ByteOrder.h"

namespace packsmith {

// Reads the bit streams of an image record least significant bit first: bit j of a stream
// is bit j mod 8 of its byte j div 8, and a value's first bit is its least significant.
// The decoders refill once per code and then take what they need from the buffered word
// with masks and shifts; a refill away from the record's end is one unaligned 8-byte load
// and no branch on the bit count. Bits past the end of the record read as 0; nothing past
// it is read.
class ImageBitReader {
public:
    static constexpr unsigned kRefilledBits = 56; // at least this many after Refill

    ImageBitReader(std::span<const std::uint8_t> record, std::uint64_t offset)
        : data_(record.data()), size_(record.size()),
          position_(offset < record.size() ? static_cast<std::size_t>(offset) : record.size())
    {
    }

    // Makes at least 56 bits available.
    void Refill()
    {
        if (size_ - position_ >= 8) {
            // Whole bytes that fit go in; the part of a byte that does not fit is loaded
            // again, at the same place, by the next refill.
            bits_ |= LoadLE64(data_ + position_) << available_;
            position_ += (63 - available_) / 8;
            available_ |= 56;
        } else {
            RefillNearEnd();
        }
    }

    // The buffered bits, the next one lowest; the low 56 are valid after Refill.
    std::uint64_t Bits() const { return bits_; }

    // Moves past n bits (at most what is available).
    void Consume(unsigned n)
    {
        bits_ >>= n;
        available_ -= n;
    }

    // The next n bits (0 to 16) as an unsigned value.
    std::uint32_t Take(unsigned n)
    {
        if (available_ < n)
            Refill();
        const auto value = static_cast<std::uint32_t>(bits_ & ((std::uint64_t{1} << n) - 1));
        Consume(n);
        return value;
    }

private:
    void RefillNearEnd()
    {
        while (available_ <= 56) {
            const std::uint64_t byte = position_ < size_ ? data_[position_++] : 0;
            bits_ |= byte << available_;
            available_ += 8;
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_; // the next byte not yet wholly in the buffer
    std::uint64_t bits_ = 0;
    unsigned available_ = 0;
};

} // namespace packsmith
