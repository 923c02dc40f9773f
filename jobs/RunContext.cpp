#include "jobs/RunContext.h"

#include "platform/Cores.h"

namespace packsmith {

unsigned WorkersFor(const RunContext& run)
{
    const unsigned threads = run.Threads == 0 ? UsableCores() : run.Threads;
    return threads <= 1 ? 0 : threads;
}

} // namespace packsmith
