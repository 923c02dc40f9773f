#include "jobs/ExtractWac.h"

#include "core/ByteOrder.h"
#include "jobs/PackedWave.h"
#include "jobs/WaveJob.h"

namespace packsmith {

void ExtractWac(const std::string& path, RunContext& run, JobHost& host)
{
    WaveJob job(path, run, host);
    job.Decode([&] {
        const auto front = job.ReadFront();
        const std::uint32_t blockCount = LoadLE32(front.data());
        CheckIsPackedWav(path, blockCount, job.Input().Size());
        job.CopyWaveHeader(front);
        DecodeWacBlocks(job.Input(), blockCount, job, host);
    });
    job.Finish();
}

} // namespace packsmith
