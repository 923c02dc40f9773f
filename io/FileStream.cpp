#include "io/FileStream.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "core/PackError.h"

namespace packsmith {

namespace {

bool IsRegularFile(int fd)
{
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

int OpenFlags(FileStream::Mode mode)
{
    switch (mode) {
    case FileStream::Mode::OpenRead:
        return O_RDONLY;
    case FileStream::Mode::OpenReadWrite:
        return O_RDWR;
    case FileStream::Mode::Create:
        return O_RDWR | O_CREAT | O_TRUNC;
    }
    return O_RDONLY;
}

} // namespace

FileStream::FileStream(const std::string& path, Mode mode) : path_(path)
{
    // O_NONBLOCK keeps a FIFO named as input from blocking the open, and a FIFO is refused
    // as not being a regular file anyway; reads and writes of a regular file do not heed it.
    const int flags = OpenFlags(mode) | O_CLOEXEC | O_NOCTTY | (mode == Mode::Create ? 0 : O_NONBLOCK);
    do
        fd_ = ::open(path.c_str(), flags, 0666);
    while (fd_ < 0 && errno == EINTR);

    // A directory, device or pipe named where a file is expected is refused.
    const int error = fd_ < 0 ? errno : IsRegularFile(fd_) ? 0 : kNotRegularFile;
    if (error != 0) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (mode == Mode::Create)
            ThrowCannotCreate(path, error);
        ThrowCannotOpen(path, error);
    }
}

FileStream::FileStream(int fd, std::string path) : path_(std::move(path)), fd_(fd) {}

FileStream::~FileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t FileStream::Read(std::span<std::uint8_t> buffer)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::read(fd_, buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void FileStream::ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                                  static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ThrowReadError();
        done += static_cast<std::size_t>(n);
    }
}

std::size_t FileStream::Write(std::span<const std::uint8_t> buffer)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::write(fd_, buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A write of nothing at all leaves no error number; it is a full disk.
            writeError_ = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t FileStream::Seek(std::int64_t offset, Origin origin)
{
    const int whence = origin == Origin::Begin ? SEEK_SET : origin == Origin::Current ? SEEK_CUR : SEEK_END;
    const off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (result < 0)
        ThrowReadError();
    return result;
}

std::int64_t FileStream::Size()
{
    struct stat info {};
    if (fstat(fd_, &info) != 0)
        ThrowReadError();
    return info.st_size;
}

void FileStream::CopyFrom(Stream& source, std::uint64_t count)
{
    auto* file = dynamic_cast<FileStream*>(&source);
    while (file != nullptr && count > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, std::uint64_t{1} << 30));
        const ssize_t n = ::copy_file_range(file->fd_, nullptr, fd_, nullptr, piece, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == EBADF || errno == EPERM || errno == ETXTBSY)) {
            break; // not between these two: byte by byte below
        }
        if (n < 0) {
            writeError_ = errno;
            ThrowWriteError(writeError_);
        }
        if (n == 0)
            ThrowReadError(); // the source ends first
        count -= static_cast<std::uint64_t>(n);
    }
    Stream::CopyFrom(source, count);
}

} // namespace packsmith
