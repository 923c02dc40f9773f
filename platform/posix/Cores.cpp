#include "platform/Cores.h"

#include <algorithm>
#include <sched.h>
#include <thread>

namespace packsmith {

unsigned UsableCores()
{
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) == 0)
        return static_cast<unsigned>(std::max(1, CPU_COUNT(&cores)));
    return std::max(1u, std::thread::hardware_concurrency());
}

} // namespace packsmith
