#pragma once

#include <memory>
#include <mutex>
#include <vector>

namespace packsmith {

// Objects handed back once used, for any thread to use again: large buffers then cost one
// allocation (and the pages' first touch) once rather than for every picture, and threads
// that would otherwise map and unmap memory all the time do not wait on each other for it.
// It holds at most as many objects as were ever in use at once.
template <class T>
class Recycler {
public:
    std::unique_ptr<T> Get()
    {
        const std::lock_guard lock(mutex_);
        if (free_.empty())
            return std::make_unique<T>();
        std::unique_ptr<T> object = std::move(free_.back());
        free_.pop_back();
        return object;
    }
    void Put(std::unique_ptr<T> object)
    {
        if (!object)
            return;
        const std::lock_guard lock(mutex_);
        free_.push_back(std::move(object));
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<T>> free_;
};

} // namespace packsmith
