#include "platform/Cores.h"

#include <bit>

#include "platform/windows/Win32.h"

namespace packsmith {

unsigned UsableCores()
{
    // The cores of the process's affinity mask, which a job object or "start /affinity" may
    // make fewer than the machine has.
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0)
        return static_cast<unsigned>(std::popcount(static_cast<std::uint64_t>(process)));
    const DWORD all = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return all > 0 ? all : 1;
}

} // namespace packsmith
