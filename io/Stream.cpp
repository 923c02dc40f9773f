#include "io/Stream.h"

#include <algorithm>
#include <array>

#include "core/PackError.h"

namespace packsmith {

void Stream::ReadBuffer(std::span<std::uint8_t> buffer)
{
    if (Read(buffer) != buffer.size())
        ThrowReadError();
}

void Stream::ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer)
{
    SetPosition(offset);
    ReadBuffer(buffer);
}

void Stream::WriteBuffer(std::span<const std::uint8_t> buffer)
{
    if (Write(buffer) != buffer.size())
        ThrowWriteError(WriteErrorNumber());
}

void Stream::CopyFrom(Stream& source, std::uint64_t count)
{
    std::array<std::uint8_t, std::size_t{64} * 1024> piece;
    while (count > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, piece.size()));
        const std::span<std::uint8_t> chunk(piece.data(), n);
        source.ReadBuffer(chunk);
        WriteBuffer(chunk);
        count -= n;
    }
}

} // namespace packsmith
