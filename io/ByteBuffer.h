#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace packsmith {

// Leaves new elements uninitialised, so that growing a buffer that is about to be filled
// (from a file, or by a decoder) does not first clear it.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
};

using ByteBuffer = std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>>;

// Resizes buffer; memory that cannot be had fails with
// "Out of memory while expanding memory stream".
void ResizeBuffer(ByteBuffer& buffer, std::uint64_t size);

} // namespace packsmith
