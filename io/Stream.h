#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace packsmith {

// A byte stream with a position, in the manner of the file and memory streams that every
// handler works with. Read and Write move as many bytes as they can and say how many;
// ReadBuffer and WriteBuffer move all of them or fail with the stream messages.
class Stream {
public:
    enum class Origin { Begin, Current, End };

    virtual ~Stream() = default;

    virtual std::size_t Read(std::span<std::uint8_t> buffer) = 0;
    virtual std::size_t Write(std::span<const std::uint8_t> buffer) = 0;
    virtual std::int64_t Seek(std::int64_t offset, Origin origin) = 0;
    virtual std::int64_t Size() = 0;

    // The error number of the last failed Write, 0 when there is none to tell.
    virtual int WriteErrorNumber() const { return 0; }

    std::int64_t Position() { return Seek(0, Origin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, Origin::Begin); }

    // Fails with "Stream read error" when fewer bytes remain than asked for.
    void ReadBuffer(std::span<std::uint8_t> buffer);
    // Reads exactly buffer.size() bytes from offset on, failing as ReadBuffer does. A stream
    // that can read in place (a file) leaves its position as it was, in one call; others
    // move it: a caller that goes on reading in order sets the position first.
    virtual void ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer);
    // Fails with "Stream write error" when not every byte could be written, and says why
    // ("No space left on device") where the system told.
    void WriteBuffer(std::span<const std::uint8_t> buffer);
    // Copies exactly count bytes from source's position to this stream's position, in pieces,
    // so that a large copy never needs a buffer of its size. A count of 0 copies nothing.
    virtual void CopyFrom(Stream& source, std::uint64_t count);
};

} // namespace packsmith
