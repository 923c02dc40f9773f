#include "jobs/JobHost.h"

namespace packsmith {

void CheckStop(const JobHost& host)
{
    if (host.StopRequested())
        throw JobStopped();
}

} // namespace packsmith
