#include "jobs/WaveJob.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "core/PathUtils.h"
#include "formats/wave/WaveFile.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr std::size_t kSpareBuffers = 2;

std::string OutputPathFor(const std::string& inputPath, const RunContext& run)
{
    return JoinPath(run.TargetDirectory, ChangeFileExt(ExtractFileName(inputPath), ".wav"));
}

// Alternative n of a ".wav" name: "chord.wav" gives chord_0000.wav, chord_0001.wav, ...,
// numbered as the pictures of one name are.
std::string AlternativeName(const std::string& fileName, unsigned long n)
{
    return NumberedName(ChangeFileExt(fileName, ""), n, ".wav");
}

// Whether the file at path holds exactly the bytes of written. Read a piece at a time, so
// a stop is seen while a long sound is compared.
bool HoldsTheSame(const std::string& path, Stream& written, const JobHost& host)
{
    FileStream earlier(path, FileStream::Mode::OpenRead);
    const std::int64_t size = written.Size();
    if (earlier.Size() != size)
        return false;
    constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
    ByteBuffer ours(std::min<std::size_t>(kPieceBytes, static_cast<std::size_t>(size)));
    ByteBuffer theirs(ours.size());
    for (std::int64_t at = 0; at < size;) {
        CheckStop(host);
        const auto piece = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(kPieceBytes), size - at));
        written.ReadAt(at, std::span(ours).first(piece));
        earlier.ReadAt(at, std::span(theirs).first(piece));
        if (std::memcmp(ours.data(), theirs.data(), piece) != 0)
            return false;
        at += static_cast<std::int64_t>(piece);
    }
    return true;
}

const std::string& CheckedOutput(const std::string& outputPath, const std::string& inputPath, RunContext& run)
{
    RefuseOverInput(outputPath, inputPath);
    run.Files.Claim(outputPath, inputPath);
    return outputPath;
}

} // namespace

WaveJob::WaveJob(const std::string& inputPath, RunContext& run, JobHost& host)
    : host_(host), inputPath_(inputPath), outputPath_(OutputPathFor(inputPath, run)), input_(inputPath),
      output_(CheckedOutput(outputPath_, inputPath, run)),
      // One writer: the writes of a file go one after the other.
      limits_{WorkersFor(run) == 0 ? 0u : 1u, 2}
{
    buffer_.reserve(kBufferBytes);
    steps_.Process = [this](NoWorkerState&, ByteBuffer& bytes, const StopToken&) {
        try {
            output_.Stream().WriteBuffer(bytes);
        } catch (...) {
            writeFailed_ = true;
            throw;
        }
        return std::move(bytes);
    };
    steps_.Commit = [this](ByteBuffer& bytes) {
        written_ += bytes.size();
        host_.ShowBytesWritten(written_);
        // A few written buffers are kept for the next ones; the rest go, or a long file
        // decoded elsewhere (whose buffers all come back here) would be held whole.
        if (spare_.size() < kSpareBuffers)
            spare_.push_back(std::move(bytes));
    };
    host_.SetStatus("Processing " + ExtractFileName(inputPath) + "...");
    host_.SetProgressMax(100);
    host_.SetProgressPosition(0);
}

void WaveJob::Decode(const std::function<void()>& decode)
{
    try {
        Writing::Run(limits_, host_.Stop(), steps_, [&](Writing& writing) {
            writing_ = &writing;
            try {
                decode();
            } catch (const JobStopped&) {
                throw;
            } catch (...) {
                // What was decoded before the failure is written, and may be kept.
                Flush();
                throw;
            }
            Flush();
        });
        writing_ = nullptr;
    } catch (const JobStopped&) {
        writing_ = nullptr;
        throw; // nothing of a stopped job stays
    } catch (...) {
        writing_ = nullptr;
        KeepPartial();
    }
}

// Puts what was decoded before the failure at the output's name if that name is free,
// then passes the failure on; an earlier file of the name stays, and the message says so.
void WaveJob::KeepPartial()
{
    const std::exception_ptr failure = std::current_exception();
    // A job that failed before it wrote anything has nothing to keep, and one whose writing
    // failed has nothing whole to keep.
    if (handed_ == 0 || writeFailed_)
        std::rethrow_exception(failure);
    bool kept = false;
    try {
        DescribeSamplesWritten();
        kept = output_.CommitIfFree();
    } catch (...) {
        // The partial output is lost; the failure that matters is the first one.
        std::rethrow_exception(failure);
    }
    if (kept)
        std::rethrow_exception(failure);
    try {
        std::rethrow_exception(failure);
    } catch (const PackError& e) {
        throw PackError(std::string(e.what()) + "; the earlier " + outputPath_ + " was kept");
    }
}

// The header was copied as the packed file gives it, for all of the sound; a file cut short
// holds less, and a player that believes the header reads past its end. The sizes it
// gives are set to what was written, where the header has them in their usual places.
void WaveJob::DescribeSamplesWritten()
{
    using namespace wave_header;
    FileStream& file = output_.Stream();
    std::array<std::uint8_t, kWaveHeaderBytes> header;
    if (written_ < header.size())
        return;
    file.ReadAt(0, header);
    const auto clamped = [](std::uint64_t bytes) { return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, 0xFFFFFFFFu)); };
    if (std::memcmp(header.data(), "RIFF", 4) == 0)
        StoreLE32(header.data() + kRiffSizeAt, clamped(written_ - 8));
    if (std::memcmp(header.data() + kDataTagAt, "data", 4) == 0)
        StoreLE32(header.data() + kDataSizeAt, clamped(written_ - kWaveHeaderBytes));
    file.SetPosition(0);
    file.WriteBuffer(header);
}

std::span<const std::uint8_t> WaveJob::ReadFront()
{
    if (input_.Remaining() < kWaveDataAt)
        ThrowReadError("the file ends inside its header");
    return input_.Take(kWaveDataAt);
}

void WaveJob::CopyWaveHeader(std::span<const std::uint8_t> front)
{
    Append(front.subspan(kWavePrefixBytes, kWaveHeaderBytes));
}
void WaveJob::Append(std::span<const std::uint8_t> bytes)
{
    const auto space = Extend(bytes.size());
    std::copy(bytes.begin(), bytes.end(), space.begin());
}

std::span<std::uint8_t> WaveJob::Extend(std::uint64_t count)
{
    if (!buffer_.empty() && buffer_.size() + count > kBufferBytes)
        Flush();
    // A piece larger than the buffer grows it for the time being; its size is bounded by
    // what the input can stand for.
    const std::size_t at = buffer_.size();
    ResizeBuffer(buffer_, at + count);
    return {buffer_.data() + at, static_cast<std::size_t>(count)};
}

void WaveJob::Put(ByteBuffer&& bytes)
{
    Flush();
    handed_ += bytes.size();
    writing_->Give(std::move(bytes));
}

void WaveJob::Flush()
{
    if (buffer_.empty())
        return;
    ByteBuffer full;
    full.swap(buffer_);
    if (!spare_.empty()) {
        buffer_.swap(spare_.back());
        spare_.pop_back();
    }
    buffer_.clear();
    buffer_.reserve(kBufferBytes);
    handed_ += full.size();
    writing_->Give(std::move(full));
}

// An earlier file of the name that holds other bytes (a sound the user edited, another
// run's) is never replaced: the output takes the first free alternative name, and the run
// lists that name in the log so that a replay packs it. One that holds the very same
// bytes is replaced, as a second extraction of the same file always did.
void WaveJob::Finish()
{
    // A link at the name is replaced itself, as ever: what it leads to is not the run's to keep.
    if (KindOf(outputPath_, false) != PathKind::RegularFile || HoldsTheSame(outputPath_, output_.Stream(), host_)) {
        output_.Commit();
        host_.ReportOutput(outputPath_, written_);
        return;
    }
    const std::string fileName = ExtractFileName(outputPath_);
    const std::string written = output_.CommitFree([&](unsigned long n) { return AlternativeName(fileName, n); });
    host_.ReportRenamedOutput(written, written_, fileName + " holds another sound and was kept");
}

} // namespace packsmith
