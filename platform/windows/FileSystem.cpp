#include "platform/FileSystem.h"

#include <cerrno>

#include "platform/windows/Win32.h"

namespace packsmith {

namespace {

// What the file the path leads to says of itself (links followed); false when there is none.
bool InformationOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& information)
{
    // Backup semantics open a directory as well as a file; no access is asked for.
    const HANDLE file = CreateFileW(win32::Wide(path).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    CloseHandle(file);
    return known;
}

PathKind KindOfAttributes(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Directory
           : (attributes & FILE_ATTRIBUTE_DEVICE)  ? PathKind::Other
                                                   : PathKind::RegularFile;
}

} // namespace

PathKind KindOf(const std::string& path, bool followLinks)
{
    if (path.empty())
        return PathKind::Missing;
    const DWORD attributes = GetFileAttributesW(win32::Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::Missing;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return KindOfAttributes(attributes);
    if (!followLinks)
        return PathKind::Link;
    BY_HANDLE_FILE_INFORMATION information{};
    return InformationOf(path, information) ? KindOfAttributes(information.dwFileAttributes) : PathKind::Missing;
}

std::string SystemSpelling(const std::string& path) { return win32::Utf8(win32::Wide(path)); }

bool PathExists(const std::string& path) { return KindOf(path, true) != PathKind::Missing; }

std::optional<FileIdentity> IdentityOf(const std::string& path)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (path.empty() || !InformationOf(path, information))
        return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

int MakeDirectory(const std::string& path)
{
    const std::wstring wide = win32::Wide(path);
    return CreateDirectoryW(wide.c_str(), nullptr) ? 0 : win32::LastErrorNumberOf(wide);
}

int RemoveFile(const std::string& path)
{
    return DeleteFileW(win32::Wide(path).c_str()) ? 0 : win32::LastErrorNumber();
}

int WhyCannotOpen(const std::string& path)
{
    const std::wstring wide = win32::Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return win32::LastErrorNumberOf(wide);
    return KindOf(path, true) != PathKind::RegularFile ? kNotRegularFile : 0;
}

} // namespace packsmith
