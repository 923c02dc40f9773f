#pragma once

#include <atomic>
#include <exception>
#include <stdexcept>

namespace packsmith {

// Thrown by work that honours a stop request in the middle of a job. The run takes it as
// the end of the run, not as a failure.
class JobStopped : public std::exception {
public:
    const char* what() const noexcept override { return "Operation stopped."; }
};

// What long loops look at to learn that they should give up: a run's stop flag (raised by
// a click, a key or a signal) and, inside a job's pipeline, the pipeline's own flag (raised
// when another item failed). Reading it is one relaxed load per flag, so a loop may look
// every few thousand steps at no cost. A default token never stops.
class StopToken {
public:
    StopToken() = default;
    explicit StopToken(const std::atomic<bool>& flag) : StopToken(StopToken{}, flag) {}
    // Stops when outer does, and when flag is raised.
    StopToken(const StopToken& outer, const std::atomic<bool>& flag) : StopToken(outer)
    {
        if (count_ == kMaxFlags)
            throw std::length_error("stop tokens nested too deep");
        flags_[count_++] = &flag;
    }

    bool StopRequested() const noexcept
    {
        for (unsigned i = 0; i < count_; ++i)
            if (flags_[i]->load(std::memory_order_relaxed))
                return true;
        return false;
    }
    // Leaves the work with JobStopped if a stop was requested.
    void ThrowIfStopped() const
    {
        if (StopRequested())
            throw JobStopped();
    }

private:
    // A run's flag, a job's pipeline's and one more pipeline inside it.
    static constexpr unsigned kMaxFlags = 3;
    const std::atomic<bool>* flags_[kMaxFlags] = {};
    unsigned count_ = 0;
};

} // namespace packsmith
