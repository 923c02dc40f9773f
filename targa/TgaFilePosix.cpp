#include "targa/TgaFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace packsmith::targa {

TgaFile::TgaFile(const char* path, Mode mode, std::size_t pieces)
{
    pieces_.reserve(pieces);
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; reads of a regular
    // file do not heed it, so it may stay.
    fd_ = mode == Mode::Read ? ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)
                             : ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    struct stat info {};
    regular_ = ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    size_ = regular_ ? static_cast<std::uint64_t>(info.st_size) : 0;
    open_ = mode == Mode::Write || regular_;
}

TgaFile::~TgaFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool TgaFile::Truncate()
{
    if (::ftruncate(fd_, 0) == 0)
        return true;
    error_ = errno;
    return false;
}

void TgaFile::Put(const std::uint8_t* p, std::size_t n)
{
    if (n == 0)
        return;
    if (!pieces_.empty() && static_cast<const std::uint8_t*>(pieces_.back().iov_base) + pieces_.back().iov_len == p)
        pieces_.back().iov_len += n;
    else
        pieces_.push_back({const_cast<std::uint8_t*>(p), n});
}

// Hands the pieces to the kernel without copying them, a thousand pieces a call.
bool TgaFile::Flush()
{
    constexpr std::size_t kPiecesPerCall = 1024;
    std::size_t first = 0;
    while (first < pieces_.size()) {
        const int count = static_cast<int>(std::min(kPiecesPerCall, pieces_.size() - first));
        ssize_t done = ::writev(fd_, pieces_.data() + first, count);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            error_ = done < 0 ? errno : 0;
            return false;
        }
        // Past the pieces written whole, and into the one written in part.
        while (first < pieces_.size() && static_cast<std::size_t>(done) >= pieces_[first].iov_len)
            done -= static_cast<ssize_t>(pieces_[first++].iov_len);
        if (done > 0) {
            pieces_[first].iov_base = static_cast<std::uint8_t*>(pieces_[first].iov_base) + done;
            pieces_[first].iov_len -= static_cast<std::size_t>(done);
        }
    }
    pieces_.clear();
    return true;
}

long long TgaFile::ReadUpTo(std::uint8_t* p, std::size_t n, std::optional<std::uint64_t> at)
{
    std::size_t got = 0;
    while (got < n) {
        const ssize_t done = at ? ::pread(fd_, p + got, n - got, static_cast<off_t>(*at + got))
                                : ::read(fd_, p + got, n - got);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            return -1;
        if (done == 0)
            break;
        got += static_cast<std::size_t>(done);
    }
    return static_cast<long long>(got);
}

bool TgaFile::Close()
{
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) == 0)
        return true;
    error_ = errno;
    return false;
}

void TgaFile::Remove(const char* path) { ::unlink(path); }

} // namespace packsmith::targa
