#pragma once

namespace packsmith {

// The number of cores this process may run on, which a cpuset or an affinity mask may make
// fewer than the machine has; at least 1.
unsigned UsableCores();

} // namespace packsmith
