#include "jobs/SoundContents.h"

#include <algorithm>

#include "concurrency/Cores.h"
#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/wac/WacDecoder.h"
#include "formats/was/MusicChunks.h"
#include "formats/was/WasDecoder.h"
#include "io/BufferedReader.h"
#include "io/FileStream.h"
#include "jobs/JobHost.h"
#include "jobs/PackedMusic.h"
#include "jobs/PackedWave.h"

namespace packsmith {

namespace {

SoundSummary FromHeader(std::span<const std::uint8_t> front, std::uint64_t fileSize)
{
    using namespace wave_header;
    const std::uint8_t* header = front.data() + kWavePrefixBytes;
    SoundSummary summary;
    summary.Channels = LoadLE16(header + kChannelsAt);
    summary.SampleRate = LoadLE32(header + kSampleRateAt);
    summary.BitsPerSample = LoadLE16(header + kBitsPerSampleAt);
    summary.CodedBytes = fileSize - kWaveDataAt;
    return summary;
}

std::array<std::uint8_t, kWaveDataAt> ReadFront(FileStream& file)
{
    std::array<std::uint8_t, kWaveDataAt> front;
    if (static_cast<std::uint64_t>(file.Size()) < kWaveDataAt)
        ThrowReadError("the file ends inside its header");
    file.SetPosition(0);
    file.ReadBuffer(front);
    return front;
}

// A host that only carries a stop request, for decoding outside a run.
class StopOnlyHost final : public JobHost {
public:
    explicit StopOnlyHost(const std::atomic<bool>& stop) : stop_(stop) {}
    void SetStatus(const std::string&) override {}
    int ProgressPosition() const override { return 0; }
    void SetProgressPosition(int) override {}
    void SetProgressMax(int) override {}
    void SetTotalPosition(int) override {}
    void SetTotalMax(int) override {}
    void ShowFileProgress(int) override {}
    const std::atomic<bool>& StopFlag() const override { return stop_; }
    void ReportOutput(const std::string&, std::uint64_t, const std::string&) override {}
    void ReportWarning(const std::string&) override {}
    void ReportLeftOut() override {}

private:
    const std::atomic<bool>& stop_;
};

class MemorySink final : public DecodedSink {
public:
    explicit MemorySink(std::vector<std::uint8_t>& samples) : samples_(samples) {}
    std::span<std::uint8_t> Extend(std::uint64_t count) override
    {
        const std::size_t at = samples_.size();
        samples_.resize(at + count);
        return {samples_.data() + at, static_cast<std::size_t>(count)};
    }

private:
    std::vector<std::uint8_t>& samples_;
};

} // namespace

double SoundSummary::Seconds() const
{
    const std::uint64_t bytesPerSecond = std::uint64_t{SampleRate} * Channels * (BitsPerSample / 8);
    return bytesPerSecond == 0 ? 0.0 : static_cast<double>(DecodedBytes) / static_cast<double>(bytesPerSecond);
}

SoundSummary SummarisePackedWav(const std::string& path)
{
    FileStream file(path, FileStream::Mode::OpenRead);
    const auto size = static_cast<std::uint64_t>(file.Size());
    const auto front = ReadFront(file);
    const std::uint32_t blockCount = LoadLE32(front.data());
    CheckIsPackedWav(path, blockCount, size);
    SoundSummary summary = FromHeader(front, size);
    summary.Units = blockCount;
    summary.DecodedBytes = std::uint64_t{blockCount} * kWacBlockBytes;
    return summary;
}

SoundSummary SummarisePackedMusic(const std::string& path)
{
    FileStream file(path, FileStream::Mode::OpenRead);
    const auto size = static_cast<std::uint64_t>(file.Size());
    SoundSummary summary = FromHeader(ReadFront(file), size);
    summary.Chunked = true;
    // The chunk headers alone: each gives its coded and decoded size.
    std::uint64_t at = kWaveDataAt;
    std::array<std::uint8_t, kMusicChunkHeaderBytes> header;
    while (at < size) {
        const auto available = std::min<std::uint64_t>(header.size(), size - at);
        file.SetPosition(static_cast<std::int64_t>(at));
        file.ReadBuffer(std::span(header).first(available));
        const MusicChunk chunk = ReadMusicChunk(std::span(header).first(available), at, size, path);
        ++summary.Units;
        summary.DecodedBytes += chunk.DecodedBytes;
        at = chunk.End();
    }
    return summary;
}

DecodedSound DecodePackedSound(const std::string& path, bool music, const std::atomic<bool>& stop)
{
    DecodedSound sound;
    sound.Summary = music ? SummarisePackedMusic(path) : SummarisePackedWav(path);
    if (sound.Summary.DecodedBytes > kMaxDecodedSoundBytes)
        throw PackError("The sound of " + path + " is too long to play here: " +
                        std::to_string(sound.Summary.DecodedBytes >> 20) + " MB of samples, more than the " +
                        std::to_string(kMaxDecodedSoundBytes >> 20) + " MB that are kept in memory");
    BufferedReader input(path);
    const auto front = input.Take(kWaveDataAt);
    std::copy_n(front.begin() + kWavePrefixBytes, kWaveHeaderBytes, sound.Header.begin());
    sound.Samples.reserve(sound.Summary.DecodedBytes);
    MemorySink sink(sound.Samples);
    StopOnlyHost host(stop);
    if (music)
        DecodeWasChunks(input, path, sink, host, WorkersPerCore());
    else
        DecodeWacBlocks(input, static_cast<std::uint32_t>(sound.Summary.Units), sink, host);
    return sound;
}

} // namespace packsmith
