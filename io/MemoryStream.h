#pragma once

#include <string>

#include "io/ByteBuffer.h"

#include "io/Stream.h"

namespace packsmith {

// A growable byte buffer with a position. Growth that cannot be had fails with
// "Out of memory while expanding memory stream", and so does growth past kMaxSize: every
// size and offset in the files this tool reads is 32-bit, so no stream needs more, and a
// size field of a hostile file is refused before anything is allocated for it.
class MemoryStream final : public Stream {
public:
    static constexpr std::uint64_t kMaxSize = std::uint64_t{1} << 32;

    MemoryStream() = default;

    std::size_t Read(std::span<std::uint8_t> buffer) override;
    std::size_t Write(std::span<const std::uint8_t> buffer) override;
    std::int64_t Seek(std::int64_t offset, Origin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }

    // Resizes the buffer; new bytes are zero and the position is kept.
    void SetSize(std::uint64_t size);
    // Replaces the content by the whole of a file; the position returns to 0.
    void LoadFromFile(const std::string& path);
    // Replaces the content by count bytes read from source; the position returns to 0.
    void LoadFromStream(Stream& source, std::uint64_t count);

    // The next count bytes in place, moving past them; "Stream read error" when fewer remain.
    std::span<const std::uint8_t> Take(std::uint64_t count);

    std::span<const std::uint8_t> Bytes() const { return data_; }
    std::span<std::uint8_t> Bytes() { return data_; }

private:
    ByteBuffer data_;
    std::size_t position_ = 0;
};

} // namespace packsmith
