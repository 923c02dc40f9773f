#include "platform/PendingFile.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/HiddenName.h"
#include "platform/windows/Win32.h"

namespace packsmith {

namespace {

// The longest file name NTFS takes (in UTF-16 units; UTF-8 bytes are never fewer).
constexpr std::size_t kNameMax = 255;
// A clash of random names more often than this in a row means something else is wrong.
constexpr int kMaxNameAttempts = 100;

// Windows has no file without a name (a killed process leaves this one behind), and its
// names ignore case: one case of letters, and a longer tag for as many names.
std::string HiddenName(const std::string& fileName)
{
    return packsmith::HiddenName(fileName, kNameMax, "0123456789abcdefghijklmnopqrstuvwxyz", 10);
}

// A file keeps its attributes through a rename: the one named now is shown again.
void Unhide(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_HIDDEN) == 0)
        return;
    // No attribute at all is said as "normal": 0 would leave them as they are.
    const DWORD shown = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(path.c_str(), shown != 0 ? shown : FILE_ATTRIBUTE_NORMAL);
}

} // namespace

// Windows separates folders with "\" as well as "/", and ":" names a drive or a stream.
bool IsPlainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\:\0", 4)) == std::string::npos;
}

void PendingFile::ForceNamedTemporary(bool) {}

PendingFile::PendingFile(const std::string& directoryPrefix, const std::string& fileName, int& error)
    : directory_(directoryPrefix), fileName_(fileName)
{
    error = 0;
    for (int attempt = 0;; ++attempt) {
        std::string name = HiddenName(fileName_);
        // Shared for deleting, so that the file can be renamed (named) while it is open.
        // Hidden, as the name says: Explorer shows a name with a "." in front like any
        // other, and a killed process leaves the file behind.
        const std::wstring path = win32::SystemPath(directory_ + name);
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            temporaryName_ = std::move(name);
            file_ = SystemFile::Adopt(reinterpret_cast<SystemFile::Native>(file));
            break;
        }
        const int number = win32::LastErrorNumberOf(path);
        if (number != EEXIST || attempt + 1 == kMaxNameAttempts) {
            error = number;
            return;
        }
    }
    writablePath_ = directory_ + temporaryName_;
}

PendingFile::~PendingFile() { Discard(); }

SystemFile PendingFile::TakeFile() { return std::move(file_); }

void PendingFile::Discard()
{
    file_ = SystemFile();
    // Deleted while still open elsewhere, it goes once the last handle is closed.
    if (!temporaryName_.empty())
        DeleteFileW(win32::SystemPath(directory_ + temporaryName_).c_str());
    temporaryName_.clear();
}

int PendingFile::NameIfFree(const std::string& name)
{
    // A rename that does not replace refuses a taken name in one step.
    const std::wstring to = win32::SystemPath(directory_ + name);
    if (!MoveFileExW(win32::SystemPath(directory_ + temporaryName_).c_str(), to.c_str(), 0))
        return win32::LastErrorNumber();
    temporaryName_.clear();
    Unhide(to);
    return 0;
}

namespace {

// Named in the headers only for Windows 10 1607 and later; the rename below needs 1709.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

// Renames the file at from to to, replacing to even while another handle has it open (as a
// reader of the old file may): the rename of POSIX semantics, which NTFS has since Windows 10
// 1709. The old file lives on, nameless, until its last handle closes. False where the file
// system or the system has no such rename.
bool RenameReplacingOpenFile(const std::wstring& from, const std::wstring& to)
{
    const HANDLE file = CreateFileW(from.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // The flags share their place with the older ReplaceIfExists, which headers may give alone.
    const DWORD bytes = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + bytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    const DWORD flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
    static_assert(offsetof(FILE_RENAME_INFO, RootDirectory) >= sizeof flags);
    std::memcpy(buffer.data(), &flags, sizeof flags);
    info->RootDirectory = nullptr;
    info->FileNameLength = bytes;
    std::memcpy(info->FileName, to.data(), bytes);
    const bool renamed = SetFileInformationByHandle(file, kFileRenameInfoEx, info, static_cast<DWORD>(buffer.size()));
    CloseHandle(file);
    return renamed;
}

} // namespace

int PendingFile::NameReplacing(const std::string& name)
{
    const std::wstring from = win32::SystemPath(directory_ + temporaryName_);
    const std::wstring to = win32::SystemPath(directory_ + name);
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD code = GetLastError();
        // Denied where a folder has the name, as Linux's rename refuses it; and where the
        // file of that name is open elsewhere, which the classic rename cannot replace.
        const DWORD attributes = GetFileAttributesW(to.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            return EISDIR;
        if (code != ERROR_ACCESS_DENIED)
            return win32::ErrorNumber(code);
        if (!RenameReplacingOpenFile(from, to)) {
            // Where that rename is missing: the old file steps aside to a hidden name (an
            // open file shared for deleting may be renamed), the new one takes the name,
            // and the old one is deleted, going with its last handle. The name is missing
            // for a moment; should the process end in it, the old file is kept, hidden.
            std::wstring aside;
            for (int attempt = 0; attempt < kMaxNameAttempts && aside.empty(); ++attempt) {
                const std::wstring candidate = win32::SystemPath(directory_ + HiddenName(name));
                if (MoveFileExW(to.c_str(), candidate.c_str(), 0))
                    aside = candidate;
                else if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
                    return win32::ErrorNumber(code);
            }
            if (aside.empty())
                return win32::ErrorNumber(code);
            if (!MoveFileExW(from.c_str(), to.c_str(), 0)) {
                const int error = win32::LastErrorNumber();
                MoveFileExW(aside.c_str(), to.c_str(), 0);
                return error;
            }
            DeleteFileW(aside.c_str());
        }
    }
    temporaryName_.clear();
    Unhide(to);
    return 0;
}

} // namespace packsmith
