#include "platform/PendingFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <string_view>

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
        const HANDLE file =
            CreateFileW(win32::Wide(directory_ + name).c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            temporaryName_ = std::move(name);
            file_ = SystemFile::Adopt(reinterpret_cast<SystemFile::Native>(file));
            break;
        }
        const int number = win32::LastErrorNumber();
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
        DeleteFileW(win32::Wide(directory_ + temporaryName_).c_str());
    temporaryName_.clear();
}

int PendingFile::NameIfFree(const std::string& name)
{
    // A rename that does not replace refuses a taken name in one step.
    if (!MoveFileExW(win32::Wide(directory_ + temporaryName_).c_str(), win32::Wide(directory_ + name).c_str(), 0))
        return win32::LastErrorNumber();
    temporaryName_.clear();
    return 0;
}

int PendingFile::NameReplacing(const std::string& name)
{
    if (!MoveFileExW(win32::Wide(directory_ + temporaryName_).c_str(), win32::Wide(directory_ + name).c_str(),
                     MOVEFILE_REPLACE_EXISTING))
        return win32::LastErrorNumber();
    temporaryName_.clear();
    return 0;
}

} // namespace packsmith
