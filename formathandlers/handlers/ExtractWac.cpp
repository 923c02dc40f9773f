#include "formathandlers/handlers/ExtractWac.h"

#include "decomp/ByteOrder.h"
#include "decomp/WacDecoder.h"
#include "formathandlers/handlers/WaveJob.h"
#include "formathandlers/layout/WaveFile.h"
#include "io/FileStream.h"
#include "io/PackError.h"

namespace packsmith {

namespace {

// A block decodes in well under a microsecond; looking for a stop every 64 blocks keeps
// the check off the inner loop and a stop still takes effect at once.
constexpr std::uint32_t kBlocksBetweenStopChecks = 64;

std::string EndsInside(std::uint32_t block, std::uint32_t blockCount)
{
    return "the file ends inside block " + std::to_string(block + 1) + " of " + std::to_string(blockCount);
}

// Whether what follows the header chains, chunk by chunk, exactly to the end of the file,
// as the chunks of a packed music file do.
bool HoldsMusicChunks(const std::string& path)
{
    FileStream file(path, FileStream::Mode::OpenRead);
    const auto size = static_cast<std::uint64_t>(file.Size());
    std::uint64_t at = kWaveDataAt;
    std::uint8_t sizes[8];
    while (at + sizeof sizes <= size) {
        file.SetPosition(static_cast<std::int64_t>(at));
        file.ReadBuffer(sizes);
        const auto coded = static_cast<std::int32_t>(LoadLE32(sizes));
        if (coded < 0 || static_cast<std::int32_t>(LoadLE32(sizes + 4)) < 0)
            return false;
        at += sizeof sizes + static_cast<std::uint64_t>(coded);
    }
    return at == size && size > kWaveDataAt;
}

// A file whose block count cannot be true is some other file under the extension; it is
// refused before anything is written for it.
void CheckIsPackedWav(const std::string& path, std::uint32_t blockCount, std::uint64_t size)
{
    const std::string notWav = path + " is not a Packed WAV file: ";
    // Every block needs at least its two bytes of size.
    if (kWaveDataAt + 2 * std::uint64_t{blockCount} > size)
        throw PackError(notWav + "its " + std::to_string(blockCount) + " blocks cannot fit its " +
                        std::to_string(size) + " bytes");
    if (blockCount == 0 && HoldsMusicChunks(path))
        throw PackError(notWav + "it holds the chunks of a Packed Music file");
}

} // namespace

void ExtractWac(const std::string& path, RunContext& run, JobHost& host)
{
    WaveJob job(path, run);
    job.Decode([&] {
        BufferedReader& input = job.Input();
        const auto front = job.ReadFront();
        const std::uint32_t blockCount = LoadLE32(front.data());
        CheckIsPackedWav(path, blockCount, input.Size());
        job.CopyWaveHeader(front);
        // The state runs on from block to block; a file that ends before its last block
        // fails there, keeping what was decoded.
        WacDecoderState state;
        for (std::uint32_t block = 0; block < blockCount; ++block) {
            if (block % kBlocksBetweenStopChecks == 0)
                CheckStop(host);
            if (input.Remaining() < 2)
                ThrowReadError(EndsInside(block, blockCount));
            const std::uint16_t blockSize = LoadLE16(input.Take(2).data());
            if (input.Remaining() < blockSize)
                ThrowReadError(EndsInside(block, blockCount));
            const auto coded = input.Take(blockSize);
            DecodeWacBlock(coded, job.Extend(kWacBlockBytes).first<kWacBlockBytes>(), state);
        }
    });
    job.Finish(host);
}

} // namespace packsmith
