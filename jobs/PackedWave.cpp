#include "jobs/PackedWave.h"

#include "core/ByteOrder.h"
#include "core/PackError.h"
#include "formats/wac/WacDecoder.h"
#include "formats/was/MusicChunks.h"
#include "formats/wave/WaveFile.h"

namespace packsmith {

namespace {

// A block decodes in well under a microsecond; looking for a stop every 64 blocks keeps
// the check off the inner loop and a stop still takes effect at once.
constexpr std::uint32_t kBlocksBetweenStopChecks = 64;

std::string EndsInside(std::uint32_t block, std::uint32_t blockCount)
{
    return "the file ends inside block " + std::to_string(block + 1) + " of " + std::to_string(blockCount);
}

} // namespace

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

bool TakeWacBlock(BufferedReader& input, std::uint32_t block, std::uint32_t blockCount,
                  std::span<const std::uint8_t>& coded, std::string& problem)
{
    if (input.Remaining() < 2) {
        problem = EndsInside(block, blockCount);
        return false;
    }
    const std::uint16_t blockSize = LoadLE16(input.Take(2).data());
    if (input.Remaining() < blockSize) {
        // A size no block can have is a damaged one, not a file cut short.
        problem = blockSize > kWacMaxCodedBytes
                      ? "block " + std::to_string(block + 1) + " of " + std::to_string(blockCount) + " gives a size of " +
                            std::to_string(blockSize) + " bytes, which runs past the end of the file"
                      : EndsInside(block, blockCount);
        return false;
    }
    coded = input.Take(blockSize);
    return true;
}

void DecodeWacBlocks(BufferedReader& input, std::uint32_t blockCount, DecodedSink& out, JobHost& host)
{
    // The state runs on from block to block.
    WacDecoderState state;
    for (std::uint32_t block = 0; block < blockCount; ++block) {
        if (block % kBlocksBetweenStopChecks == 0) {
            CheckStop(host);
            host.ShowFileProgressOf(input.Position(), input.Size());
        }
        std::span<const std::uint8_t> coded;
        if (std::string problem; !TakeWacBlock(input, block, blockCount, coded, problem))
            ThrowReadError(problem);
        DecodeWacBlock(coded, out.Extend(kWacBlockBytes).first<kWacBlockBytes>(), state);
    }
}

} // namespace packsmith
