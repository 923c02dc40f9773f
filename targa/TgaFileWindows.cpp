#include "targa/TgaFile.h"

#include <algorithm>
#include <cerrno>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace packsmith::targa {

namespace {

// The most one call reads or writes.
constexpr DWORD kMostAtOnce = DWORD{1} << 30;

std::wstring Wide(const char* utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    return wide;
}

// The error number of the last failed call, for the causes writing a picture meets, as the
// tool numbers them (platform/windows/Win32.cpp, which the codec cannot link); 0, no cause,
// for the rest.
int LastErrorNumber()
{
    switch (GetLastError()) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return 0;
    }
}

OVERLAPPED At(std::uint64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

} // namespace

TgaFile::TgaFile(const char* path, Mode mode, std::size_t pieces)
{
    pieces_.reserve(pieces);
    const std::wstring wide = Wide(path);
    // Shared as the tool shares its own files, which it renames while they are open.
    const HANDLE file = CreateFileW(wide.c_str(), mode == Mode::Read ? GENERIC_READ : GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    mode == Mode::Read ? OPEN_EXISTING : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = LastErrorNumber();
        return;
    }
    handle_ = file;
    LARGE_INTEGER size{};
    regular_ = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size);
    size_ = regular_ ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    open_ = mode == Mode::Write || regular_;
}

TgaFile::~TgaFile()
{
    if (handle_ != nullptr)
        CloseHandle(handle_);
}

bool TgaFile::Truncate()
{
    LARGE_INTEGER start{};
    if (SetFilePointerEx(handle_, start, nullptr, FILE_BEGIN) && SetEndOfFile(handle_))
        return true;
    error_ = LastErrorNumber();
    return false;
}

void TgaFile::Put(const std::uint8_t* p, std::size_t n)
{
    if (n == 0)
        return;
    if (!pieces_.empty() && pieces_.back().Data + pieces_.back().Size == p)
        pieces_.back().Size += n;
    else
        pieces_.push_back({p, n});
}

bool TgaFile::Flush()
{
    for (const Piece& piece : pieces_) {
        for (std::size_t done = 0; done < piece.Size;) {
            OVERLAPPED at = At(position_);
            DWORD n = 0;
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(piece.Size - done, kMostAtOnce));
            if (!WriteFile(handle_, piece.Data + done, wanted, &n, &at)) {
                error_ = LastErrorNumber();
                return false;
            }
            if (n == 0) {
                error_ = 0;
                return false;
            }
            done += n;
            position_ += n;
        }
    }
    pieces_.clear();
    return true;
}

long long TgaFile::ReadUpTo(std::uint8_t* p, std::size_t n, std::optional<std::uint64_t> at)
{
    std::size_t got = 0;
    while (got < n) {
        OVERLAPPED where = At((at ? *at : position_) + got);
        DWORD done = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(n - got, kMostAtOnce));
        if (!ReadFile(handle_, p + got, wanted, &done, &where)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return -1;
        }
        if (done == 0)
            break;
        got += done;
    }
    if (!at)
        position_ += got;
    return static_cast<long long>(got);
}

bool TgaFile::Close()
{
    const HANDLE file = handle_;
    handle_ = nullptr;
    if (CloseHandle(file) != 0)
        return true;
    error_ = LastErrorNumber();
    return false;
}

void TgaFile::Remove(const char* path) { DeleteFileW(Wide(path).c_str()); }

} // namespace packsmith::targa
