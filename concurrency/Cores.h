#pragma once

namespace packsmith {

// The number of threads that work side by side on one job: one per core this process may
// run on.
unsigned WorkersPerCore();

} // namespace packsmith
