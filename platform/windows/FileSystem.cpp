#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "platform/windows/Win32.h"

namespace packsmith {

namespace {

// What the file the path leads to says of itself (links followed); false when there is none.
bool InformationOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& information)
{
    // Backup semantics open a directory as well as a file; no access is asked for.
    const HANDLE file = CreateFileW(win32::SystemPath(path).c_str(), 0,
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

// Whether the base of a name (up to its first ".", without the spaces before it) names a
// device, which Windows finds in every folder.
bool IsDeviceName(std::string_view name)
{
    std::string base(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0))
        return false;
    // COM0 to COM9, and with a superscript 1, 2 or 3 (as UTF-8) too.
    const std::string_view number = std::string_view(base).substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

} // namespace

std::string StorableName(const std::string& name)
{
    std::string storable = name;
    for (char& c : storable)
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*/\\").find(c) != std::string_view::npos)
            c = '_';
    if (!storable.empty() && (storable.back() == '.' || storable.back() == ' '))
        storable.back() = '_';
    if (IsDeviceName(storable)) {
        const std::size_t dot = std::min(storable.find('.'), storable.size());
        storable = storable.substr(0, dot) + '_' + storable.substr(dot);
    }
    return storable;
}

std::string NameKey(const std::string& name)
{
    std::wstring key = win32::Wide(name);
    if (!key.empty())
        CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return win32::Utf8(key);
}

PathKind KindOf(const std::string& path, bool followLinks)
{
    if (path.empty())
        return PathKind::Missing;
    const DWORD attributes = GetFileAttributesW(win32::SystemPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::Missing;
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return KindOfAttributes(attributes);
    if (!followLinks)
        return PathKind::Link;
    BY_HANDLE_FILE_INFORMATION information{};
    return InformationOf(path, information) ? KindOfAttributes(information.dwFileAttributes) : PathKind::Missing;
}

std::string SystemSpelling(const std::string& path) { return win32::Utf8(win32::SystemPath(path)); }

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
    const std::wstring wide = win32::SystemPath(path);
    return CreateDirectoryW(wide.c_str(), nullptr) ? 0 : win32::LastErrorNumberOf(wide);
}

int RemoveFile(const std::string& path)
{
    return DeleteFileW(win32::SystemPath(path).c_str()) ? 0 : win32::LastErrorNumber();
}

int WhyCannotOpen(const std::string& path)
{
    const std::wstring wide = win32::SystemPath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const int error = win32::LastErrorNumberOf(wide);
        // A pattern left as typed matched nothing: no file has such a name, so none is there.
        const std::size_t name = path.find_last_of("/\\");
        const bool pattern = path.find_first_of("*?", name == std::string::npos ? 0 : name + 1) != std::string::npos;
        return error == EINVAL && pattern ? ENOENT : error;
    }
    return KindOf(path, true) != PathKind::RegularFile ? kNotRegularFile : 0;
}

std::string ShownPaths(std::string text)
{
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

bool FileIsHeldOpen(const std::string& path)
{
    // Asked for as a replacing rename asks: another program's open that shares less refuses it.
    const HANDLE file = CreateFileW(win32::SystemPath(path).c_str(), GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    const DWORD code = GetLastError();
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

} // namespace packsmith
