#include "io/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <string_view>
#include <unistd.h>
#include <unordered_set>
#include <utility>

#include "core/PackError.h"
#include "platform/RandomBits.h"

namespace packsmith {

namespace {

// The longest file name the usual Linux file systems take.
constexpr std::size_t kNameMax = 255;
// CommitFree's give-up point: far more files of one name than any run writes.
constexpr unsigned long kMaxCandidates = 1ul << 20;
// A clash of random names more often than this in a row means something else is wrong.
constexpr int kMaxNameAttempts = 100;

std::atomic<bool> forceNamedTemporary{false};

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) noexcept : fd_(fd) {}
    ~UniqueFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        return *this;
    }

    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// The unnamed file is reached through /proc both by the codec library and by the link that
// names it; without /proc (a bare chroot) the hidden temporary name has to serve instead.
bool ProcFdAvailable()
{
    static const bool available = ::access("/proc/self/fd", X_OK) == 0;
    return available;
}

// "." + file name + "." + a random tag: hidden from listings, and telling the user which
// file it was should one ever be left behind. The file name is shortened where the whole
// would be longer than a name may be.
std::string HiddenName(const std::string& fileName)
{
    static constexpr std::string_view kDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    constexpr std::size_t kTagLength = 8;
    std::string name = ".";
    name.append(fileName, 0, kNameMax - 2 - kTagLength);
    name += '.';
    std::uint64_t bits = RandomBits();
    for (std::size_t i = 0; i < kTagLength; ++i, bits /= kDigits.size())
        name += kDigits[bits % kDigits.size()];
    return name;
}

// A name that cannot reach outside the directory, and that the system sees as written.
bool IsPlainName(const std::string& name)
{
    return !name.empty() && name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

} // namespace

struct OutputFile::Impl {
    std::string directoryPrefix; // the path up to and including its last "/"; "" for none
    std::string fileName;
    // The directory, held open so that every name is made in the directory the content was
    // created in, even should the current directory change in between.
    UniqueFd directory;
    std::unique_ptr<FileStream> stream;
    // The hidden name while the content has one (no unnamed files here); "" otherwise.
    std::string temporaryName;
    std::string writablePath;
    bool named = false;

    ~Impl() { Discard(); }

    void CheckWritable() const
    {
        if (named)
            throw std::logic_error("OutputFile: the file is already named");
    }

    // The end of every commit, and of a discard: no more writing, no more temporary name.
    void Finish()
    {
        stream.reset();
        named = true;
    }

    void Discard()
    {
        stream.reset();
        if (!temporaryName.empty())
            ::unlinkat(directory.Get(), temporaryName.c_str(), 0);
        temporaryName.clear();
        Finish();
    }

    // Names the content name, in the directory, unless something holds that name already:
    // 0, or the errno value (EEXIST when the name is taken, a dangling link included).
    int LinkNew(const std::string& name)
    {
        if (temporaryName.empty()) {
            // Linking by descriptor (AT_EMPTY_PATH) needs a privilege; through /proc it does not.
            return ::linkat(AT_FDCWD, writablePath.c_str(), directory.Get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0
                       ? 0
                       : errno;
        }
        const int dir = directory.Get();
        if (::renameat2(dir, temporaryName.c_str(), dir, name.c_str(), RENAME_NOREPLACE) == 0) {
            temporaryName.clear();
            return 0;
        }
        // Some file systems cannot rename without replacing; a link refuses a taken name too
        // (and where neither works, nothing can name the file without a race).
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return errno;
        if (::linkat(dir, temporaryName.c_str(), dir, name.c_str(), 0) != 0)
            return errno;
        ::unlinkat(dir, temporaryName.c_str(), 0);
        temporaryName.clear();
        return 0;
    }
};

void OutputFile::ForceNamedTemporary(bool force) { forceNamedTemporary = force; }

OutputFile::OutputFile(std::string path) : path_(std::move(path)), impl_(std::make_unique<Impl>())
{
    Impl& impl = *impl_;
    impl.directoryPrefix = path_.substr(0, path_.rfind('/') + 1);
    impl.fileName = path_.substr(impl.directoryPrefix.size());
    if (!IsPlainName(impl.fileName) || path_.find('\0') != std::string::npos)
        ThrowCannotCreate(path_, impl.fileName.empty() ? EISDIR : EINVAL);
    const std::string directory = impl.directoryPrefix.empty() ? "." : impl.directoryPrefix;
    impl.directory = UniqueFd(::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (impl.directory.Get() < 0)
        ThrowCannotCreate(path_, errno);

    // Mode 0666 on creation lets the kernel apply the umask (or the directory's default
    // ACL), the same for the unnamed file as for the hidden name. Without O_EXCL, so that
    // the file can still be linked and reopened through /proc.
    UniqueFd file;
    if (!forceNamedTemporary && ProcFdAvailable()) {
        file = UniqueFd(::openat(impl.directory.Get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
        // EISDIR: a kernel that predates O_TMPFILE sees a directory opened for writing.
        if (file.Get() < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            ThrowCannotCreate(path_, errno);
    }
    if (file.Get() >= 0) {
        impl.writablePath = "/proc/self/fd/" + std::to_string(file.Get());
    } else {
        for (int attempt = 0; file.Get() < 0; ++attempt) {
            std::string name = HiddenName(impl.fileName);
            file = UniqueFd(::openat(impl.directory.Get(), name.c_str(),
                                     O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
            if (file.Get() >= 0)
                impl.temporaryName = std::move(name);
            else if (errno != EEXIST || attempt + 1 == kMaxNameAttempts)
                ThrowCannotCreate(path_, errno);
        }
        impl.writablePath = impl.directoryPrefix + impl.temporaryName;
    }
    impl.stream = std::make_unique<FileStream>(file.Get(), path_);
    file.Release();
}

OutputFile::~OutputFile() = default;

FileStream& OutputFile::Stream()
{
    impl_->CheckWritable();
    return *impl_->stream;
}

const std::string& OutputFile::WritablePath() const
{
    impl_->CheckWritable();
    return impl_->writablePath;
}

void OutputFile::Commit()
{
    Impl& impl = *impl_;
    impl.CheckWritable();
    const int dir = impl.directory.Get();
    if (!impl.temporaryName.empty()) {
        if (::renameat(dir, impl.temporaryName.c_str(), dir, impl.fileName.c_str()) != 0)
            ThrowCannotCreate(path_, errno);
        impl.temporaryName.clear();
    } else {
        // Linux has no link that replaces: the unnamed file gets a hidden name first, which
        // the rename then moves over the final name in one step. Only a kill between the two
        // calls can leave the hidden name behind.
        std::string hidden;
        int error = EEXIST;
        for (int attempt = 0; error == EEXIST && attempt < kMaxNameAttempts; ++attempt) {
            hidden = HiddenName(impl.fileName);
            error = impl.LinkNew(hidden);
        }
        if (error != 0)
            ThrowCannotCreate(path_, error);
        if (::renameat(dir, hidden.c_str(), dir, impl.fileName.c_str()) != 0) {
            const int renameError = errno;
            ::unlinkat(dir, hidden.c_str(), 0);
            ThrowCannotCreate(path_, renameError);
        }
    }
    impl.Finish();
}

std::string OutputFile::CommitFree(const std::function<std::string(unsigned long)>& name)
{
    unsigned long first = 0;
    return CommitFree(name, first);
}

std::string OutputFile::CommitFree(const std::function<std::string(unsigned long)>& name, unsigned long& next)
{
    Impl& impl = *impl_;
    impl.CheckWritable();
    // A name function that comes back to an earlier name would otherwise try it forever.
    std::unordered_set<std::string> tried;
    std::string candidatePath;
    for (unsigned long n = next; n - next < kMaxCandidates; ++n) {
        std::string candidate = name(n);
        candidatePath = impl.directoryPrefix + candidate;
        if (!IsPlainName(candidate) || !tried.insert(candidate).second)
            ThrowCannotCreate(candidatePath);
        const int error = impl.LinkNew(candidate);
        if (error == 0) {
            impl.Finish();
            next = n + 1;
            return candidatePath;
        }
        if (error != EEXIST)
            ThrowCannotCreate(candidatePath, error);
    }
    ThrowCannotCreate(candidatePath);
}

bool OutputFile::CommitIfFree()
{
    Impl& impl = *impl_;
    impl.CheckWritable();
    const int error = impl.LinkNew(impl.fileName);
    if (error == EEXIST) {
        impl.Discard();
        return false;
    }
    if (error != 0)
        ThrowCannotCreate(path_, error);
    impl.Finish();
    return true;
}

} // namespace packsmith
