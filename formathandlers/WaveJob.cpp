#include "WaveJob.h"

#include <algorithm>

#include "ByteOrder.h"
#include "FileIdentity.h"
#include "PackError.h"
#include "PathUtils.h"

namespace packsmith {

namespace {

constexpr std::size_t kBufferBytes = 1 << 20;
constexpr std::size_t kPrefixBytes = 8;
constexpr std::size_t kWaveHeaderBytes = 44;

std::string OutputPathFor(const std::string& inputPath, const RunContext& run)
{
    return JoinPath(run.TargetDirectory, ChangeFileExt(ExtractFileName(inputPath), ".wav"));
}

// Refuses an output that names the input itself, before creating it would empty the input.
const std::string& CheckedOutput(const std::string& outputPath, const std::string& inputPath)
{
    if (SameFile(outputPath, inputPath))
        ThrowCannotCreate(outputPath);
    return outputPath;
}

} // namespace

WaveJob::WaveJob(const std::string& inputPath, const RunContext& run)
    : inputPath_(inputPath), outputPath_(OutputPathFor(inputPath, run)), input_(inputPath),
      output_(CheckedOutput(outputPath_, inputPath), FileStream::Mode::Create)
{
    buffer_.reserve(kBufferBytes);
}

WaveJob::~WaveJob()
{
    // A job that failed keeps what it decoded before the failure.
    try {
        Flush();
    } catch (...) {
    }
}

std::uint32_t WaveJob::CopyWaveHeader()
{
    const auto front = input_.Take(kPrefixBytes + kWaveHeaderBytes);
    Append(front.subspan(kPrefixBytes));
    return LoadLE32(front.data());
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

void WaveJob::Flush()
{
    if (buffer_.empty())
        return;
    // Emptied whatever happens, so a failed write is not tried again on the way out.
    struct Emptied {
        ByteBuffer& buffer;
        ~Emptied() { buffer.clear(); }
    } emptied{buffer_};
    output_.WriteBuffer(buffer_);
    written_ += buffer_.size();
}

void WaveJob::Finish(JobHost& host)
{
    Flush();
    host.ReportOutput(outputPath_, written_);
}

} // namespace packsmith
