#include "jobs/ExtractWas.h"

#include "jobs/PackedMusic.h"
#include "jobs/WaveJob.h"

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
