#include "jobs/SoundContents.h"

#include <algorithm>
#include <array>
#include <span>

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/wac/WacDecoder.h"
#include "formats/was/MusicChunks.h"
#include "formats/wave/WaveFile.h"
#include "io/BufferedReader.h"
#include "io/FileStream.h"
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

// A message's cause for a listing, which says it is a read error in its own way: the words
// in brackets of "Stream read error (...)", any other message whole.
std::string Cause(const std::string& message)
{
    const std::string prefix = "Stream read error (";
    if (message.rfind(prefix, 0) == 0 && message.back() == ')')
        return message.substr(prefix.size(), message.size() - prefix.size() - 1);
    return message;
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

// Packed music's summary from its chunk headers; describe: one that cannot be read ends
// the summary with what is wrong in Problem, rather than failing it.
SoundSummary SummariseMusic(const std::string& path, bool describe)
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
        MusicChunk chunk;
        try {
            chunk = ReadMusicChunk(std::span(header).first(available), at, size, path);
        } catch (const PackError& e) {
            if (!describe)
                throw;
            summary.Problem = Cause(e.what());
            break;
        }
        ++summary.Units;
        summary.DecodedBytes += chunk.DecodedBytes;
        at = chunk.End();
    }
    return summary;
}

} // namespace

double SoundSummary::Seconds() const
{
    const std::uint64_t bytesPerSecond = std::uint64_t{SampleRate} * Channels * (BitsPerSample / 8);
    return bytesPerSecond == 0 ? 0.0 : static_cast<double>(DecodedBytes) / static_cast<double>(bytesPerSecond);
}

SoundSummary SummarisePackedWav(const std::string& path)
{
    // The blocks' sizes would mean reading the whole file; the count is in its front.
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

SoundSummary DescribePackedWav(const std::string& path)
{
    SoundSummary summary = SummarisePackedWav(path);
    BufferedReader input(path);
    input.Take(kWaveDataAt);
    const auto blockCount = static_cast<std::uint32_t>(summary.Units);
    std::span<const std::uint8_t> coded;
    for (std::uint32_t block = 0; block < blockCount; ++block) {
        if (!TakeWacBlock(input, block, blockCount, coded, summary.Problem)) {
            summary.Units = block;
            summary.DecodedBytes = std::uint64_t{block} * kWacBlockBytes;
            break;
        }
    }
    return summary;
}

SoundSummary SummarisePackedMusic(const std::string& path) { return SummariseMusic(path, false); }

SoundSummary DescribePackedMusic(const std::string& path) { return SummariseMusic(path, true); }

} // namespace packsmith
