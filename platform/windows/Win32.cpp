#include "platform/windows/Win32.h"

#include <cerrno>

#include "core/WideText.h"

namespace packsmith::win32 {

std::wstring Wide(const std::string& utf8)
{
    const std::u16string wide = WideText(utf8);
    return std::wstring(wide.begin(), wide.end());
}

std::string Utf8(const std::wstring& wide)
{
    if (wide.empty())
        return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

int ErrorNumber(DWORD code)
{
    switch (code) {
    case ERROR_SUCCESS:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_SUPPORTED:
        return ENOSYS;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
    default:
        return EINVAL;
    }
}

int LastErrorNumber() { return ErrorNumber(GetLastError()); }

int LastErrorNumberOf(const std::wstring& path)
{
    const DWORD code = GetLastError();
    if (code != ERROR_PATH_NOT_FOUND)
        return ErrorNumber(code);
    // The nearest folder above that exists decides: a file there means a part is no folder.
    for (std::size_t end = path.find_last_of(L"/\\"); end != std::wstring::npos && end > 0;
         end = path.find_last_of(L"/\\", end - 1)) {
        const DWORD attributes = GetFileAttributesW(path.substr(0, end).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES)
            return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ENOENT : ENOTDIR;
    }
    return ENOENT;
}

} // namespace packsmith::win32
