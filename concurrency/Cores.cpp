#include "concurrency/Cores.h"

#include <algorithm>
#include <sched.h>
#include <thread>

namespace packsmith {

unsigned WorkersPerCore()
{
    // The cores this process may run on, which a cpuset or taskset may make fewer than the
    // machine has.
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) == 0)
        return std::max(1, CPU_COUNT(&cores));
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace packsmith
