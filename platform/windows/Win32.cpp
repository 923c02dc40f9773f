#include "platform/windows/Win32.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "core/FilesystemPath.h"
#include "core/WideText.h"

namespace packsmith::win32 {

std::wstring Wide(const std::string& utf8)
{
    const std::u16string wide = WideText(utf8);
    return std::wstring(wide.begin(), wide.end());
}

std::wstring SystemPath(const std::string& utf8)
{
    // Room for the 8.3 name a folder's files may need, below the folder limit of 248.
    constexpr std::size_t kLongPath = 240;
    std::wstring wide = Wide(utf8);
    if (wide.size() < kLongPath)
        return wide;
    const std::filesystem::path path = std::filesystem::path(wide);
    const bool drive = wide.size() > 2 && wide[1] == L':' && (wide[2] == L'/' || wide[2] == L'\\');
    const bool network = (wide[0] == L'/' || wide[0] == L'\\') && (wide[1] == L'/' || wide[1] == L'\\') &&
                         wide[2] != L'?' && wide[2] != L'.';
    if (!drive && !network)
        return wide; // relative, or already in a form of the system's own
    std::wstring normal = NormalPath(path).native();
    std::replace(normal.begin(), normal.end(), L'/', L'\\');
    return drive ? L"\\\\?\\" + normal : L"\\\\?\\UNC\\" + normal.substr(2);
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
