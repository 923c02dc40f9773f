#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "core/ByteOrder.h"

namespace packsmith {

// The bytes of a coded block or chunk, 8 at a time and big-endian, zeros past the end.
// The last ones come from a zero-padded copy made once: a copy at each load would stall
// the load on the copy's stores.
class AudioBitSource {
public:
    explicit AudioBitSource(std::span<const std::uint8_t> bytes)
        : bytes_(bytes.data()), size_(bytes.size()), tailStart_(bytes.size() >= 8 ? bytes.size() - 8 : 0)
    {
        if (size_ > tailStart_)
            std::memcpy(tail_, bytes_ + tailStart_, size_ - tailStart_);
    }

    std::uint64_t Load(std::size_t at) const
    {
        const std::uint8_t* from = at + 8 <= size_ ? bytes_ + at : tail_ + ((at < size_ ? at : size_) - tailStart_);
        return LoadBE64(from);
    }

    std::size_t Size() const { return size_; }

private:
    const std::uint8_t* bytes_;
    std::size_t size_;
    std::size_t tailStart_;
    std::uint8_t tail_[16] = {};
};

// Reads the bit streams of the two audio formats most significant bit first: bit p is bit
// 7 - p mod 8 of byte p div 8. The next bits wait at the top of a 64-bit word; a code costs
// a shift of it, and a refill loads from an address known since the refill before, so no
// memory load sits on the chain from one code to the next.
//
// A plain aggregate apart from the source, so that a decoder's copy lives in registers:
// anything a byte pointer may reach is reloaded after every output store.
struct AudioBitReader {
    // Tops the window up to at least 56 valid bits.
    void Refill(const AudioBitSource& source)
    {
        Window |= source.Load(Next) >> Count;
        Next += (63 - Count) / 8;
        Count |= 56;
    }

    void Skip(unsigned n) // n at most Count
    {
        Window <<= n;
        Count -= n;
    }

    // The position of the next unread bit.
    std::uint64_t Position() const { return 8 * std::uint64_t{Next} - Count; }

    // The next Count bits of the stream, first bit at the top; the bits below them are
    // either 0 or the stream's own following bits, so a refill may OR over them.
    std::uint64_t Window = 0;
    unsigned Count = 0;
    std::size_t Next = 0; // the first byte whose bits are not all in the window yet
};

} // namespace packsmith
