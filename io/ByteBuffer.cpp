#include "io/ByteBuffer.h"

#include <new>
#include <stdexcept>

#include "core/PackError.h"

namespace packsmith {

void ResizeBuffer(ByteBuffer& buffer, std::uint64_t size)
{
    if (size > buffer.max_size())
        ThrowOutOfMemory();
    try {
        buffer.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory();
    } catch (const std::length_error&) {
        ThrowOutOfMemory();
    }
}

} // namespace packsmith
