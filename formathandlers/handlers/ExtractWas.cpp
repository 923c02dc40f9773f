#include "formathandlers/handlers/ExtractWas.h"

#include "formathandlers/handlers/PackedWave.h"
#include "formathandlers/handlers/WaveJob.h"

namespace packsmith {

void ExtractWas(const std::string& path, RunContext& run, JobHost& host)
{
    WaveJob job(path, run, host);
    job.Decode([&] {
        job.CopyWaveHeader(job.ReadFront());
        DecodeWasChunks(job.Input(), path, job, host, WorkersFor(run));
    });
    job.Finish();
}

} // namespace packsmith
