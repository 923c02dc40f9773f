#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace packsmith {

// Appends fields to a bit stream: most significant bit first (as the audio decoders read
// them) or least significant bit first (as the image record's streams are read).
template <bool MostSignificantFirst>
class BitWriter {
public:
    // Puts the low `bits` bits of value (at most 32). The audio encoders put a field for
    // every sample, so a field goes in whole bytes where it can rather than bit by bit.
    void Put(std::uint32_t value, unsigned bits)
    {
        std::uint64_t field = bits >= 32 ? value : value & ((std::uint32_t{1} << bits) - 1);
        unsigned left = bits;
        const unsigned filled = static_cast<unsigned>(used_ % 8);
        used_ += bits;
        if (filled != 0 && left != 0) {
            const unsigned room = 8 - filled;
            const unsigned take = left < room ? left : room;
            if constexpr (MostSignificantFirst) {
                bytes_.back() |= static_cast<std::uint8_t>((field >> (left - take)) << (room - take));
            } else {
                bytes_.back() |= static_cast<std::uint8_t>((field & ((1u << take) - 1)) << filled);
                field >>= take;
            }
            left -= take;
        }
        for (; left >= 8; left -= 8) {
            if constexpr (MostSignificantFirst) {
                bytes_.push_back(static_cast<std::uint8_t>(field >> (left - 8)));
            } else {
                bytes_.push_back(static_cast<std::uint8_t>(field));
                field >>= 8;
            }
        }
        if (left != 0)
            bytes_.push_back(static_cast<std::uint8_t>((MostSignificantFirst ? field << (8 - left) : field) &
                                                       (MostSignificantFirst ? 0xFF00u >> left : (1u << left) - 1)));
    }
    void Reserve(std::size_t bytes) { bytes_.reserve(bytes); }
    // Starts a new stream, keeping the room the last one took.
    void Clear()
    {
        bytes_.clear();
        used_ = 0;
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
