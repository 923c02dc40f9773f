#include "io/MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/PackError.h"
#include "io/FileStream.h"

namespace packsmith {

std::size_t MemoryStream::Read(std::span<std::uint8_t> buffer)
{
    const std::size_t available = position_ < data_.size() ? data_.size() - position_ : 0;
    const std::size_t n = std::min(buffer.size(), available);
    if (n > 0)
        std::memcpy(buffer.data(), data_.data() + position_, n);
    position_ += n;
    return n;
}

std::size_t MemoryStream::Write(std::span<const std::uint8_t> buffer)
{
    if (buffer.empty())
        return 0;
    const std::uint64_t end = static_cast<std::uint64_t>(position_) + buffer.size();
    if (end > data_.size())
        SetSize(end);
    std::memcpy(data_.data() + position_, buffer.data(), buffer.size());
    position_ += buffer.size();
    return buffer.size();
}

std::int64_t MemoryStream::Seek(std::int64_t offset, Origin origin)
{
    const std::int64_t base = origin == Origin::Begin     ? 0
                              : origin == Origin::Current ? static_cast<std::int64_t>(position_)
                                                          : static_cast<std::int64_t>(data_.size());
    // A position before the start is taken as the start; past the end reads nothing.
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target))
        target = offset < 0 ? 0 : std::numeric_limits<std::int64_t>::max();
    position_ = static_cast<std::size_t>(std::max<std::int64_t>(0, target));
    return static_cast<std::int64_t>(position_);
}

std::span<const std::uint8_t> MemoryStream::Take(std::uint64_t count)
{
    const std::size_t available = position_ < data_.size() ? data_.size() - position_ : 0;
    if (count > available)
        ThrowReadError();
    const std::span<const std::uint8_t> taken(data_.data() + position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return taken;
}

void MemoryStream::SetSize(std::uint64_t size)
{
    const std::size_t before = data_.size();
    if (size > kMaxSize)
        ThrowOutOfMemory();
    ResizeBuffer(data_, size);
    if (data_.size() > before)
        std::fill(data_.begin() + static_cast<std::ptrdiff_t>(before), data_.end(), 0);
}

void MemoryStream::LoadFromFile(const std::string& path)
{
    FileStream file(path, FileStream::Mode::OpenRead);
    LoadFromStream(file, static_cast<std::uint64_t>(file.Size()));
}

void MemoryStream::LoadFromStream(Stream& source, std::uint64_t count)
{
    data_.clear();
    position_ = 0;
    if (count > kMaxSize)
        ThrowOutOfMemory();
    ResizeBuffer(data_, count);
    source.ReadBuffer(data_);
}

} // namespace packsmith
