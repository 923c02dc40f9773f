#include "formathandlers/handlers/ExtractWac.h"

#include "decomp/ByteOrder.h"
#include "decomp/WacDecoder.h"
#include "formathandlers/handlers/WaveJob.h"

namespace packsmith {

namespace {

// A block decodes in well under a microsecond; looking for a stop every 64 blocks keeps
// the check off the inner loop and a stop still takes effect at once.
constexpr std::uint32_t kBlocksBetweenStopChecks = 64;

} // namespace

void ExtractWac(const std::string& path, RunContext& run, JobHost& host)
{
    WaveJob job(path, run);
    job.Decode([&] {
        BufferedReader& input = job.Input();
        const std::uint32_t blockCount = job.CopyWaveHeader();
        // The state runs on from block to block; a count beyond the blocks present ends
        // with "Stream read error" after the last one, keeping what was decoded.
        WacDecoderState state;
        for (std::uint32_t block = 0; block < blockCount; ++block) {
            if (block % kBlocksBetweenStopChecks == 0)
                CheckStop(host);
            const std::uint16_t blockSize = LoadLE16(input.Take(2).data());
            const auto coded = input.Take(blockSize);
            DecodeWacBlock(coded, job.Extend(kWacBlockBytes).first<kWacBlockBytes>(), state);
        }
    });
    job.Finish(host);
}

} // namespace packsmith
