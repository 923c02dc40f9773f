#include "platform/PendingFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

#include "platform/HiddenName.h"

namespace packsmith {

namespace {

// The longest file name the usual Linux file systems take.
constexpr std::size_t kNameMax = 255;
// A clash of random names more often than this in a row means something else is wrong.
constexpr int kMaxNameAttempts = 100;

std::atomic<bool> forceNamedTemporary{false};

// The unnamed file is reached through /proc both by the codec library and by the link that
// names it; without /proc (a bare chroot) the hidden temporary name has to serve instead.
bool ProcFdAvailable()
{
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

std::string HiddenName(const std::string& fileName)
{
    return packsmith::HiddenName(fileName, kNameMax, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 8);
}

} // namespace

// A name that cannot reach outside the directory, and that the system sees as written.
bool IsPlainFileName(const std::string& name)
{
    return !name.empty() && name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

void PendingFile::ForceNamedTemporary(bool force) { forceNamedTemporary = force; }

PendingFile::PendingFile(const std::string& directoryPrefix, const std::string& fileName, int& error)
    : fileName_(fileName)
{
    error = 0;
    const std::string directory = directoryPrefix.empty() ? "." : directoryPrefix;
    directory_ = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory_ < 0) {
        error = errno;
        return;
    }

    // Mode 0666 on creation lets the kernel apply the umask (or the directory's default
    // ACL), the same for the unnamed file as for the hidden name. Without O_EXCL, so that
    // the file can still be linked and reopened through /proc.
    int file = -1;
    if (!forceNamedTemporary && ProcFdAvailable()) {
        file = ::openat(directory_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        // EISDIR: a kernel that predates O_TMPFILE sees a directory opened for writing.
        if (file < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            error = errno;
            return;
        }
    }
    if (file >= 0) {
        writablePath_ = "/proc/self/fd/" + std::to_string(file);
    } else {
        for (int attempt = 0; file < 0; ++attempt) {
            std::string name = HiddenName(fileName_);
            file = ::openat(directory_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
            if (file >= 0) {
                temporaryName_ = std::move(name);
            } else if (errno != EEXIST || attempt + 1 == kMaxNameAttempts) {
                error = errno;
                return;
            }
        }
        writablePath_ = directoryPrefix + temporaryName_;
    }
    file_ = SystemFile::Adopt(file);
}

PendingFile::~PendingFile()
{
    Discard();
    if (directory_ >= 0)
        ::close(directory_);
}

SystemFile PendingFile::TakeFile() { return std::move(file_); }

void PendingFile::Discard()
{
    file_ = SystemFile();
    if (!temporaryName_.empty())
        ::unlinkat(directory_, temporaryName_.c_str(), 0);
    temporaryName_.clear();
}

int PendingFile::NameIfFree(const std::string& name)
{
    if (temporaryName_.empty()) {
        // Linking by descriptor (AT_EMPTY_PATH) needs a privilege; through /proc it does not.
        return ::linkat(AT_FDCWD, writablePath_.c_str(), directory_, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0
                                                                                                        : errno;
    }
    if (::renameat2(directory_, temporaryName_.c_str(), directory_, name.c_str(), RENAME_NOREPLACE) == 0) {
        temporaryName_.clear();
        return 0;
    }
    // Some file systems cannot rename without replacing; a link refuses a taken name too
    // (and where neither works, nothing can name the file without a race).
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    if (::linkat(directory_, temporaryName_.c_str(), directory_, name.c_str(), 0) != 0)
        return errno;
    ::unlinkat(directory_, temporaryName_.c_str(), 0);
    temporaryName_.clear();
    return 0;
}

int PendingFile::NameReplacing(const std::string& name)
{
    if (!temporaryName_.empty()) {
        if (::renameat(directory_, temporaryName_.c_str(), directory_, name.c_str()) != 0)
            return errno;
        temporaryName_.clear();
        return 0;
    }
    // Linux has no link that replaces: the unnamed file gets a hidden name first, which the
    // rename then moves over the final name in one step. Only a kill between the two calls
    // can leave the hidden name behind.
    std::string hidden;
    int error = EEXIST;
    for (int attempt = 0; error == EEXIST && attempt < kMaxNameAttempts; ++attempt) {
        hidden = HiddenName(name);
        error = NameIfFree(hidden);
    }
    if (error != 0)
        return error;
    if (::renameat(directory_, hidden.c_str(), directory_, name.c_str()) != 0) {
        const int renameError = errno;
        ::unlinkat(directory_, hidden.c_str(), 0);
        return renameError;
    }
    return 0;
}

} // namespace packsmith
