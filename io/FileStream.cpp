#include "io/FileStream.h"

#include <utility>

#include "core/PackError.h"

namespace packsmith {

namespace {

SystemFile::Access AccessOf(FileStream::Mode mode)
{
    switch (mode) {
    case FileStream::Mode::OpenRead:
        return SystemFile::Access::Read;
    case FileStream::Mode::OpenReadWrite:
        return SystemFile::Access::ReadWrite;
    case FileStream::Mode::Create:
        return SystemFile::Access::Create;
    }
    return SystemFile::Access::Read;
}

} // namespace

FileStream::FileStream(const std::string& path, Mode mode) : path_(path)
{
    int error = 0;
    file_ = SystemFile(path, AccessOf(mode), error);
    if (error != 0) {
        if (mode == Mode::Create)
            ThrowCannotCreate(path, error);
        ThrowCannotOpen(path, error);
    }
}

FileStream::FileStream(SystemFile file, std::string path) : path_(std::move(path)), file_(std::move(file)) {}

FileStream::~FileStream() = default;

std::size_t FileStream::Read(std::span<std::uint8_t> buffer)
{
    int ignored = 0;
    return file_.Read(buffer, ignored);
}

void FileStream::ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer)
{
    int error = 0;
    if (file_.ReadAt(offset, buffer, error) != buffer.size())
        ThrowReadError();
}

std::size_t FileStream::Write(std::span<const std::uint8_t> buffer)
{
    int error = 0;
    const std::size_t done = file_.Write(buffer, error);
    if (error != 0)
        writeError_ = error;
    return done;
}

std::int64_t FileStream::Seek(std::int64_t offset, Origin origin)
{
    const auto whence = origin == Origin::Begin     ? SystemFile::Origin::Begin
                        : origin == Origin::Current ? SystemFile::Origin::Current
                                                    : SystemFile::Origin::End;
    int error = 0;
    const std::int64_t result = file_.Seek(offset, whence, error);
    if (result < 0)
        ThrowReadError();
    return result;
}

std::int64_t FileStream::Size()
{
    int error = 0;
    const std::int64_t size = file_.Size(error);
    if (size < 0)
        ThrowReadError();
    return size;
}

void FileStream::CopyFrom(Stream& source, std::uint64_t count)
{
    auto* file = dynamic_cast<FileStream*>(&source);
    while (file != nullptr && count > 0) {
        int error = 0;
        const std::int64_t n = file_.CopyFrom(file->file_, count, error);
        if (n < 0 && error == SystemFile::kCopyNotHere)
            break; // not between these two: byte by byte below
        if (n < 0) {
            writeError_ = error;
            ThrowWriteError(writeError_);
        }
        if (n == 0)
            ThrowReadError(); // the source ends first
        count -= static_cast<std::uint64_t>(n);
    }
    Stream::CopyFrom(source, count);
}

} // namespace packsmith
