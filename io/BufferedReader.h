#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "io/ByteBuffer.h"
#include "io/FileStream.h"

namespace packsmith {

// Reads a file front to back in pieces: Take hands out the next bytes in place, and a piece
// is only as large as the largest single Take needs. Memory stays small whatever the file's
// size, and none of it is cleared or faulted in just to be overwritten by the file.
class BufferedReader {
public:
    explicit BufferedReader(const std::string& path);

    std::uint64_t Size() const { return size_; }
    std::uint64_t Position() const { return position_; }
    bool AtEnd() const { return position_ >= size_; }
    std::uint64_t Remaining() const { return size_ - position_; }

    // The next count bytes, valid until the next call; "Stream read error" when fewer remain
    // in the file, before anything is allocated for them.
    std::span<const std::uint8_t> Take(std::uint64_t count);

private:
    FileStream file_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
    ByteBuffer buffer_;
    std::size_t begin_ = 0; // unread bytes of the buffer: [begin_, end_)
    std::size_t end_ = 0;
};

} // namespace packsmith
