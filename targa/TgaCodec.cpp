// The codec library's two entry points: WriteTGA and ReadTGA. Nothing else leaves the
// library, and no exception does either.

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <algorithm>
#include <sys/stat.h>
#include <sys/uio.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

#include "targa/TgaBitmap.h"
#include "targa/TgaDecode.h"
#include "targa/TgaLayout.h"

#define TARGA_EXPORT __attribute__((visibility("default")))

extern "C" {
TARGA_EXPORT int WriteTGA(const char* path, const TgaBitmap* bitmap, int flags);
TARGA_EXPORT int ReadTGA(const char* path, TgaBitmap* bitmap);
}

static_assert(std::is_same_v<decltype(&WriteTGA), WriteTgaFunction>);
static_assert(std::is_same_v<decltype(&ReadTGA), ReadTgaFunction>);

namespace packsmith::targa {
namespace {

// The written files end in a TGA 2.0 trailer whose extension area says the alpha channel
// holds straight alpha: readers that look at it keep the alpha whatever it holds, zeros
// everywhere included; the rest skip it.
constexpr std::size_t ExtensionSoftwareId = 2 + 41 + 324 + 12 + 41 + 6;

void PutLe16(std::uint8_t* p, unsigned v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v)
{
    PutLe16(p, v & 0xFFFFu);
    PutLe16(p + 2, v >> 16);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now; false when closing reports an error (data that never reached the disk).
    bool Close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Hands the pieces of a file to the kernel without copying them, as few calls as it takes
// (a thousand pieces a call); pieces that follow each other in memory go as one. Every piece
// must stay valid until Flush; the first failure sticks.
class GatherWriter {
public:
    explicit GatherWriter(std::size_t pieces) { pieces_.reserve(pieces); }
    void Attach(int fd) { fd_ = fd; }
    void Put(const std::uint8_t* p, std::size_t n)
    {
        if (n == 0)
            return;
        if (!pieces_.empty() && static_cast<const std::uint8_t*>(pieces_.back().iov_base) + pieces_.back().iov_len == p)
            pieces_.back().iov_len += n;
        else
            pieces_.push_back({const_cast<std::uint8_t*>(p), n});
    }
    bool Flush()
    {
        constexpr std::size_t kPiecesPerCall = 1024;
        std::size_t first = 0;
        while (first < pieces_.size()) {
            const int count = static_cast<int>(std::min(kPiecesPerCall, pieces_.size() - first));
            ssize_t done = ::writev(fd_, pieces_.data() + first, count);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return false;
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

private:
    int fd_ = -1;
    std::vector<iovec> pieces_;
};

// Writes an uncompressed 32-bit true-colour file (type 2), top row first, with 8 alpha bits
// and the TGA 2.0 trailer. Every flag asks for this one kind.
int Write(const char* path, const TgaBitmap* bitmap)
{
    if (path == nullptr || *path == '\0')
        return TgaCannotCreate;
    if (bitmap == nullptr)
        return TgaWriteFailed;
    const std::uint32_t width = bitmap->Width;
    const std::uint32_t height = bitmap->Height;
    // Nothing is written that ReadTGA would refuse; this also keeps the footer's 32-bit
    // offset in range.
    if (width > 0xFFFF || height > 0xFFFF || std::uint64_t{width} * height > TGA_MAX_PIXELS)
        return TgaTooLarge;
    const std::size_t rowBytes = std::size_t{width} * 4;
    if (width > 0 && height > 0 && (bitmap->Pixels == nullptr || bitmap->Stride < rowBytes))
        return TgaWriteFailed;

    std::uint8_t header[HeaderSize] = {};
    header[2] = 2;
    PutLe16(header + 12, width);
    PutLe16(header + 14, height);
    header[16] = 32;
    header[17] = DescriptorTopDown | 8;

    std::uint8_t extension[ExtensionSize] = {};
    PutLe16(extension, ExtensionSize);
    std::memcpy(extension + ExtensionSoftwareId, "Packsmith", 9);
    extension[ExtensionAttributesType] = AttributesStraightAlpha;

    std::uint8_t footer[FooterSize] = {};
    PutLe32(footer, static_cast<std::uint32_t>(HeaderSize + rowBytes * height));
    std::memcpy(footer + 8, FooterSignature, sizeof FooterSignature);

    GatherWriter out(std::size_t{height} + 3); // allocated first: nothing below the open can throw
    FileDescriptor file(::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (file.Get() < 0)
        return TgaCannotCreate;
    // Only a regular file is removed after a failure: never a device or pipe named as the
    // target.
    struct stat info {};
    const bool regular = ::fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode);
    // Truncated only when there is something to cut: the tool hands over new, empty files,
    // and truncating one of those still costs the file system a journal entry.
    if (regular && info.st_size > 0 && ::ftruncate(file.Get(), 0) != 0)
        return TgaCannotCreate;

    out.Attach(file.Get());
    out.Put(header, sizeof header);
    for (std::uint32_t y = 0; y < height && width > 0; ++y)
        out.Put(bitmap->Pixels + y * bitmap->Stride, rowBytes);
    out.Put(extension, sizeof extension);
    out.Put(footer, sizeof footer);
    const bool written = out.Flush();
    const bool closed = file.Close();
    if (written && closed)
        return TgaOk;
    if (regular)
        ::unlink(path);
    return TgaWriteFailed;
}

// Reads up to n bytes, from where the file stands or, when given, from offset at; returns how
// many, or -1 on a read error.
long long ReadUpTo(int fd, std::uint8_t* p, std::size_t n, std::optional<off_t> at = std::nullopt)
{
    std::size_t got = 0;
    while (got < n) {
        const ssize_t done = at ? ::pread(fd, p + got, n - got, *at + static_cast<off_t>(got)) : ::read(fd, p + got, n - got);
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

// What the file's trailer says of the alpha, for a file of fileSize bytes whose picture ends
// at pictureEnd: Unstated when the file has no trailer that makes sense. False on a read
// error. Two small reads at the end of the file, whatever lies between.
bool ReadAlphaMeaning(int fd, std::uint64_t fileSize, std::size_t pictureEnd, AlphaMeaning& alpha)
{
    alpha = AlphaMeaning::Unstated;
    if (fileSize < FooterSize)
        return true;
    std::uint8_t footer[FooterSize];
    long long got = ReadUpTo(fd, footer, FooterSize, static_cast<off_t>(fileSize - FooterSize));
    if (got < 0)
        return false;
    // Short when the file shrank since its size was taken: then there is no trailer to trust.
    const std::optional<std::uint64_t> offset =
        got == static_cast<long long>(FooterSize) ? ExtensionOffset(footer, fileSize, pictureEnd) : std::nullopt;
    if (!offset)
        return true;
    std::uint8_t extension[ExtensionSize];
    got = ReadUpTo(fd, extension, ExtensionSize, static_cast<off_t>(*offset));
    if (got < 0)
        return false;
    if (got == static_cast<long long>(ExtensionSize))
        alpha = ExtensionAlpha(extension);
    return true;
}

int Read(const char* path, TgaBitmap* bitmap)
{
    if (bitmap == nullptr || bitmap->Resize == nullptr)
        return TgaOutOfMemory; // no way to give the bitmap a size
    if (path == nullptr)
        return TgaCannotOpen;
    // Only a regular file is read: a pipe or device could keep the reader waiting for ever.
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; reads of a regular
    // file do not heed it, so it may stay.
    FileDescriptor file(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info {};
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return TgaCannotOpen;

    std::uint8_t headerBytes[HeaderSize];
    const long long got = ReadUpTo(file.Get(), headerBytes, HeaderSize);
    if (got < 0)
        return TgaCannotOpen;
    Header header;
    if (got < static_cast<long long>(HeaderSize))
        return TgaTooShort;
    if (!ParseHeader(headerBytes, header))
        return TgaUnknownKind;
    if (header.PixelCount() > TGA_MAX_PIXELS)
        return TgaTooLarge;

    // Only the part of the file the picture can take is read: what follows it (the TGA 2.0
    // areas, or anything else) is of no use, however large, but for the trailer's word on the
    // alpha. The buffer is not cleared first: only the bytes read are ever looked at.
    const std::size_t capacity = header.PixelsOffset() + header.MaxStreamBytes();
    const auto data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    std::memcpy(data.get(), headerBytes, HeaderSize);
    const long long rest = ReadUpTo(file.Get(), data.get() + HeaderSize, capacity - HeaderSize);
    if (rest < 0)
        return TgaCannotOpen;
    const std::size_t size = HeaderSize + static_cast<std::size_t>(rest);
    // Checked whole before the bitmap is touched: a file that fails leaves it as it was.
    bool badIndex = false;
    const std::optional<std::size_t> pictureEnd = Complete(header, data.get(), size, &badIndex);
    if (!pictureEnd)
        return badIndex ? TgaBadColourIndex : TgaTruncated;
    AlphaMeaning alpha = AlphaMeaning::Unstated;
    if (!ReadAlphaMeaning(file.Get(), static_cast<std::uint64_t>(info.st_size), *pictureEnd, alpha))
        return TgaCannotOpen;
    file.Close();

    const std::size_t rowBytes = std::size_t{header.Width} * 4;
    if (bitmap->Resize(bitmap, header.Width, header.Height) == 0)
        return TgaOutOfMemory;
    // A Resize that claims success but left too little room is a failure too.
    if (bitmap->Width != header.Width || bitmap->Height != header.Height ||
        (header.PixelCount() > 0 && (bitmap->Pixels == nullptr || bitmap->Stride < rowBytes)))
        return TgaOutOfMemory;
    // After Complete, Decode does not fail; were it to, the file is still reported as such.
    return Decode(header, alpha, data.get(), size, bitmap->Pixels, bitmap->Stride) ? TgaOk : TgaNotReadable;
}

} // namespace
} // namespace packsmith::targa

extern "C" int WriteTGA(const char* path, const TgaBitmap* bitmap, int flags)
{
    (void)flags; // 1, 32-bit with 8 alpha bits, is the only kind written
    try {
        return packsmith::targa::Write(path, bitmap);
    } catch (...) {
        return TgaWriteFailed;
    }
}

extern "C" int ReadTGA(const char* path, TgaBitmap* bitmap)
{
    try {
        return packsmith::targa::Read(path, bitmap);
    } catch (const std::bad_alloc&) {
        return TgaOutOfMemory;
    } catch (...) {
        return TgaNotReadable;
    }
}
