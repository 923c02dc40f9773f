#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace packsmith::test {

// Holds a job on the run's thread until the test, on the window thread, lets it go.
class Gate {
public:
    // On the run's thread: says it has arrived, then waits to be released.
    void Arrive()
    {
        std::unique_lock lock(mutex_);
        arrived_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
    }
    bool Arrived()
    {
        const std::lock_guard lock(mutex_);
        return arrived_;
    }
    bool WaitForArrival()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return arrived_; });
    }
    void Release()
    {
        const std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool arrived_ = false;
    bool released_ = false;
};

} // namespace packsmith::test
