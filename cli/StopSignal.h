#pragma once

namespace packsmith {

// Ctrl+C as the stop request of a run: the first one is noted and the run stops before its
// next job; a second one ends the process at once with status 130. The previous handling
// of SIGINT returns when the object goes.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    static bool Raised();
};

} // namespace packsmith
