#include "jobs/RunContext.h"

#include <algorithm>

#include "platform/Cores.h"

namespace packsmith {

unsigned WorkersFor(const RunContext& run)
{
    // Every job's workers are busy computing (decoding, compressing, coding sound), so a
    // worker beyond the cores adds no speed, only the memory it holds: its pictures and its
    // working memory, tens of megabytes for a lossy compression.
    const unsigned cores = UsableCores();
    const unsigned threads = run.Threads == 0 ? cores : std::min(run.Threads, cores);
    return threads <= 1 ? 0 : threads;
}

} // namespace packsmith
