#include "io/BufferedReader.h"

#include <algorithm>
#include <cstring>

#include "core/PackError.h"

namespace packsmith {

namespace {

constexpr std::size_t kPieceBytes = 1 << 20;

} // namespace

BufferedReader::BufferedReader(const std::string& path)
    : file_(path, FileStream::Mode::OpenRead), size_(static_cast<std::uint64_t>(file_.Size()))
{
}

std::span<const std::uint8_t> BufferedReader::Take(std::uint64_t count)
{
    if (count > size_ - position_)
        ThrowReadError();
    const auto n = static_cast<std::size_t>(count);
    if (end_ - begin_ < n) {
        // Keep the unread bytes, then fill up to a whole piece or to what this take needs.
        const std::size_t unread = end_ - begin_;
        const std::size_t wanted = std::max(kPieceBytes, n);
        if (unread > 0)
            std::memmove(buffer_.data(), buffer_.data() + begin_, unread);
        if (buffer_.size() < wanted)
            ResizeBuffer(buffer_, wanted);
        begin_ = 0;
        end_ = unread;
        const auto toRead = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer_.size() - end_, size_ - position_ - unread));
        const std::size_t got = file_.Read({buffer_.data() + end_, toRead});
        end_ += got;
        if (end_ - begin_ < n) // the file shrank under us
            ThrowReadError();
    }
    const std::span<const std::uint8_t> taken(buffer_.data() + begin_, n);
    begin_ += n;
    position_ += count;
    return taken;
}

} // namespace packsmith
