#include "io/OutputFile.h"

#include <cerrno>
#include <stdexcept>
#include <unordered_set>
#include <utility>

#include "core/PackError.h"
#include "platform/PendingFile.h"

namespace packsmith {

namespace {

// CommitFree's give-up point: far more files of one name than any run writes.
constexpr unsigned long kMaxCandidates = 1ul << 20;

} // namespace

struct OutputFile::Impl {
    std::string directoryPrefix; // the path up to and including its last "/"; "" for none
    std::string fileName;
    std::unique_ptr<PendingFile> pending;
    std::unique_ptr<FileStream> stream;
    bool named = false;

    ~Impl() { Discard(); }

    void CheckWritable() const
    {
        if (named)
            throw std::logic_error("OutputFile: the file is already named");
    }

    // The end of every commit, and of a discard: no more writing.
    void Finish()
    {
        stream.reset();
        named = true;
    }

    void Discard()
    {
        stream.reset();
        if (pending)
            pending->Discard();
        Finish();
    }
};

void OutputFile::ForceNamedTemporary(bool force) { PendingFile::ForceNamedTemporary(force); }

OutputFile::OutputFile(std::string path) : path_(std::move(path)), impl_(std::make_unique<Impl>())
{
    Impl& impl = *impl_;
    impl.directoryPrefix = path_.substr(0, path_.rfind('/') + 1);
    impl.fileName = path_.substr(impl.directoryPrefix.size());
    if (!IsPlainFileName(impl.fileName) || path_.find('\0') != std::string::npos)
        ThrowCannotCreate(path_, impl.fileName.empty() ? EISDIR : EINVAL);
    int error = 0;
    impl.pending = std::make_unique<PendingFile>(impl.directoryPrefix, impl.fileName, error);
    if (error != 0)
        ThrowCannotCreate(path_, error);
    impl.stream = std::make_unique<FileStream>(impl.pending->TakeFile(), path_);
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
    return impl_->pending->WritablePath();
}

void OutputFile::Commit()
{
    Impl& impl = *impl_;
    impl.CheckWritable();
    if (const int error = impl.pending->NameReplacing(impl.fileName); error != 0)
        ThrowCannotCreate(path_, error);
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
        if (!IsPlainFileName(candidate) || !tried.insert(candidate).second)
            ThrowCannotCreate(candidatePath);
        const int error = impl.pending->NameIfFree(candidate);
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
    const int error = impl.pending->NameIfFree(impl.fileName);
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
