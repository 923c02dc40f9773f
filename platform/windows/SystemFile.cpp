#include "platform/SystemFile.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <io.h>

#include "core/PackError.h"
#include "platform/windows/Win32.h"

namespace packsmith {

namespace {

HANDLE Win32Handle(SystemFile::Native handle) { return reinterpret_cast<HANDLE>(handle); }

// The most one call reads or writes.
constexpr DWORD kMostAtOnce = DWORD{1} << 30;

OVERLAPPED At(std::int64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(offset));
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(offset) >> 32);
    return at;
}

} // namespace

SystemFile::SystemFile(const std::string& path, Access access, int& error)
{
    error = 0;
    const std::wstring wide = win32::SystemPath(path);
    // A directory opens only by request; named where a file is expected it is refused.
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (access != Access::Create && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = kNotRegularFile;
        return;
    }
    const DWORD rights = access == Access::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    // Others may read, write, rename and delete the file meanwhile, as on Linux; a rename
    // of a file being written is how it gets its name.
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE file = CreateFileW(wide.c_str(), rights, sharing, nullptr,
                                    access == Access::Create ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = win32::LastErrorNumberOf(wide);
        return;
    }
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        error = kNotRegularFile;
        return;
    }
    handle_ = reinterpret_cast<Native>(file);
    openedSize_ = size.QuadPart;
}

SystemFile::~SystemFile()
{
    if (IsOpen())
        CloseHandle(Win32Handle(handle_));
}

SystemFile::SystemFile(SystemFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoFile)), openedSize_(other.openedSize_), position_(other.position_)
{
}

SystemFile& SystemFile::operator=(SystemFile&& other) noexcept
{
    std::swap(handle_, other.handle_);
    std::swap(openedSize_, other.openedSize_);
    std::swap(position_, other.position_);
    return *this;
}

void SystemFile::ReadWaiting() {}

std::size_t SystemFile::Read(std::span<std::uint8_t> buffer, int& error)
{
    const std::size_t done = ReadAt(position_, buffer, error);
    position_ += static_cast<std::int64_t>(done);
    return done;
}

std::size_t SystemFile::ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer, int& error)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        OVERLAPPED at = At(offset + static_cast<std::int64_t>(done));
        DWORD n = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - done, kMostAtOnce));
        if (!ReadFile(Win32Handle(handle_), buffer.data() + done, wanted, &n, &at)) {
            if (GetLastError() != ERROR_HANDLE_EOF)
                error = win32::LastErrorNumber();
            break;
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

std::size_t SystemFile::Write(std::span<const std::uint8_t> buffer, int& error)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        OVERLAPPED at = At(position_);
        DWORD n = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - done, kMostAtOnce));
        if (!WriteFile(Win32Handle(handle_), buffer.data() + done, wanted, &n, &at) || n == 0) {
            const int number = win32::LastErrorNumber();
            error = number != 0 ? number : ENOSPC;
            break;
        }
        done += n;
        position_ += n;
    }
    return done;
}

std::int64_t SystemFile::Seek(std::int64_t offset, Origin origin, int& error)
{
    std::int64_t base = 0;
    if (origin == Origin::Current) {
        base = position_;
    } else if (origin == Origin::End) {
        base = Size(error);
        if (base < 0)
            return -1;
    }
    if (base + offset < 0) {
        error = EINVAL;
        return -1;
    }
    position_ = base + offset;
    return position_;
}

std::int64_t SystemFile::Size(int& error) const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(Win32Handle(handle_), &size)) {
        error = win32::LastErrorNumber();
        return -1;
    }
    return size.QuadPart;
}

std::int64_t SystemFile::CopyFrom(SystemFile&, std::uint64_t, int& error)
{
    // No copy between two open files by the system alone here: the bytes go through.
    error = kCopyNotHere;
    return -1;
}

LentDescriptor::LentDescriptor(const SystemFile& file)
{
    HANDLE second = nullptr;
    const HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, reinterpret_cast<HANDLE>(file.Handle()), process, &second, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return;
    descriptor_ = _open_osfhandle(reinterpret_cast<std::intptr_t>(second), _O_RDONLY | _O_BINARY);
    if (descriptor_ == -1)
        CloseHandle(second);
}

LentDescriptor::~LentDescriptor()
{
    if (descriptor_ != -1)
        _close(descriptor_); // closes the second handle with it
}

} // namespace packsmith
