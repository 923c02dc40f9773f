#include "ExtractWac.h"

#include "ByteOrder.h"
#include "WacDecoder.h"
#include "WaveJob.h"

namespace packsmith {

void ExtractWac(const std::string& path, RunContext& run, JobHost& host)
{
    WaveJob job(path, run);
    BufferedReader& input = job.Input();
    const std::uint32_t blockCount = job.CopyWaveHeader();

    // The state runs on from block to block; a count beyond the blocks present ends with
    // "Stream read error" after the last one, keeping what was decoded.
    WacDecoderState state;
    for (std::uint32_t block = 0; block < blockCount; ++block) {
        const std::uint16_t blockSize = LoadLE16(input.Take(2).data());
        const auto coded = input.Take(blockSize);
        DecodeWacBlock(coded, job.Extend(kWacBlockBytes).first<kWacBlockBytes>(), state);
    }
    job.Finish(host);
}

} // namespace packsmith
