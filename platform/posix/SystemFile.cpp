#include "platform/SystemFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "core/PackError.h"

namespace packsmith {

namespace {

// Whether fd is a regular file, and then its size.
bool IsRegularFile(int fd, std::int64_t& size)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = info.st_size;
    return true;
}

int OpenFlags(SystemFile::Access access)
{
    switch (access) {
    case SystemFile::Access::Read:
        return O_RDONLY;
    case SystemFile::Access::ReadWrite:
        return O_RDWR;
    case SystemFile::Access::Create:
        return O_RDWR | O_CREAT | O_TRUNC;
    }
    return O_RDONLY;
}

} // namespace

SystemFile::SystemFile(const std::string& path, Access access, int& error)
{
    // O_NONBLOCK keeps a FIFO named as input from blocking the open, and a FIFO is refused
    // as not being a regular file anyway; reads and writes of a regular file do not heed it.
    const int flags = OpenFlags(access) | O_CLOEXEC | O_NOCTTY | (access == Access::Create ? 0 : O_NONBLOCK);
    do
        handle_ = ::open(path.c_str(), flags, 0666);
    while (handle_ < 0 && errno == EINTR);

    // A directory, device or pipe named where a file is expected is refused.
    error = handle_ < 0 ? errno : IsRegularFile(handle_, openedSize_) ? 0 : kNotRegularFile;
    if (error != 0 && handle_ >= 0) {
        ::close(handle_);
        handle_ = -1;
    }
}

SystemFile::~SystemFile()
{
    if (handle_ >= 0)
        ::close(handle_);
}

SystemFile::SystemFile(SystemFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), openedSize_(other.openedSize_)
{
}

SystemFile& SystemFile::operator=(SystemFile&& other) noexcept
{
    std::swap(handle_, other.handle_);
    std::swap(openedSize_, other.openedSize_);
    return *this;
}

void SystemFile::ReadWaiting() { ::fcntl(handle_, F_SETFL, ::fcntl(handle_, F_GETFL) & ~O_NONBLOCK); }

std::size_t SystemFile::Read(std::span<std::uint8_t> buffer, int& error)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::read(handle_, buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t SystemFile::ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer, int& error)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pread(handle_, buffer.data() + done, buffer.size() - done,
                                  static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t SystemFile::Write(std::span<const std::uint8_t> buffer, int& error)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::write(handle_, buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write of nothing at all leaves no error number; it is a full disk.
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t SystemFile::Seek(std::int64_t offset, Origin origin, int& error)
{
    const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
    const off_t result = ::lseek(handle_, static_cast<off_t>(offset), whence);
    if (result < 0)
        error = errno;
    return result;
}

std::int64_t SystemFile::Size(int& error) const
{
    struct stat info {};
    if (fstat(handle_, &info) != 0) {
        error = errno;
        return -1;
    }
    return info.st_size;
}

std::int64_t SystemFile::CopyFrom(SystemFile& source, std::uint64_t count, int& error)
{
    const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, std::uint64_t{1} << 30));
    ssize_t n = 0;
    do
        n = ::copy_file_range(source.handle_, nullptr, handle_, nullptr, piece, 0);
    while (n < 0 && errno == EINTR);
    if (n >= 0)
        return n;
    // Not between these two (other file systems, a kernel or file system without it).
    const bool notHere = errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                         errno == EBADF || errno == EPERM || errno == ETXTBSY;
    error = notHere ? kCopyNotHere : errno;
    return -1;
}

LentDescriptor::LentDescriptor(const SystemFile& file) : descriptor_(file.Handle()) {}

LentDescriptor::~LentDescriptor() = default;

} // namespace packsmith
