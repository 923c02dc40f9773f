#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace packsmith {

// The number of threads that work side by side on one job: one per core.
unsigned WorkersPerCore();

// Runs tasks on worker threads and hands their results back in the order the tasks were
// given, so that whatever is done with them (names taken, lines written) never depends on
// timing. Each worker has a State of its own (a decoder, an open file), made on the worker
// by makeState. At most `window` tasks are given and not yet taken, and at most
// `windowCost` of their declared cost, so memory stays bounded however long the job.
// With no workers the tasks run on the giving thread, one by one as they are given: the
// same results, serially.
//
// Going away, it lets the running tasks end and drops every result not taken.
template <class Result, class State>
class OrderedWork {
public:
    using Task = std::function<Result(State&)>;

    OrderedWork(unsigned workers, std::size_t window, std::function<std::unique_ptr<State>()> makeState,
                std::size_t windowCost = static_cast<std::size_t>(-1))
        : makeState_(std::move(makeState)), window_(window < 1 ? 1 : window), windowCost_(windowCost)
    {
        if (workers == 0) {
            inline_ = makeState_();
            return;
        }
        for (unsigned i = 0; i < workers; ++i)
            threads_.emplace_back([this] { Work(); });
    }

    ~OrderedWork()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
    }

    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    // Whether another task may be given now without waiting for a result to be taken.
    bool HasRoom(std::size_t cost = 0) const
    {
        const std::lock_guard lock(mutex_);
        return RoomFor(cost);
    }
    // Gives a task of the given cost; the caller takes results first while there is no room
    // (a task that costs more than the window alone is given when nothing is pending).
    void Give(Task task, std::size_t cost = 0)
    {
        auto slot = std::make_shared<Slot>();
        slot->Work = std::move(task);
        slot->Cost = cost;
        if (inline_) {
            Run(*slot, *inline_);
            slot->Done = true;
            pending_.push_back(std::move(slot));
            pendingCost_ += cost;
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            pending_.push_back(slot);
            pendingCost_ += cost;
            queue_.push_back(std::move(slot));
        }
        wake_.notify_one();
    }
    bool Pending() const
    {
        const std::lock_guard lock(mutex_);
        return !pending_.empty();
    }
    // The result of the oldest task not taken (call only while Pending), waiting for it; a
    // task's exception is thrown here, in its place in the order.
    Result Take()
    {
        std::shared_ptr<Slot> slot;
        {
            std::unique_lock lock(mutex_);
            done_.wait(lock, [&] { return pending_.front()->Done; });
            slot = std::move(pending_.front());
            pending_.pop_front();
            pendingCost_ -= slot->Cost;
        }
        if (slot->Failure)
            std::rethrow_exception(slot->Failure);
        return std::move(*slot->Value);
    }

private:
    struct Slot {
        Task Work;
        std::size_t Cost = 0;
        std::optional<Result> Value;
        std::exception_ptr Failure;
        bool Done = false;
    };

    bool RoomFor(std::size_t cost) const
    {
        return pending_.empty() || (pending_.size() < window_ && pendingCost_ + cost <= windowCost_);
    }

    static void Run(Slot& slot, State& state)
    {
        try {
            slot.Value.emplace(slot.Work(state));
        } catch (...) {
            slot.Failure = std::current_exception();
        }
        slot.Work = nullptr;
    }

    void Work()
    {
        std::unique_ptr<State> state;
        std::exception_ptr stateFailure;
        try {
            state = makeState_();
        } catch (...) {
            stateFailure = std::current_exception();
        }
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
            if (stop_)
                return;
            std::shared_ptr<Slot> slot = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            if (state)
                Run(*slot, *state);
            else
                slot->Failure = stateFailure;
            lock.lock();
            slot->Done = true;
            done_.notify_all();
        }
    }

    std::function<std::unique_ptr<State>()> makeState_;
    const std::size_t window_;
    const std::size_t windowCost_;
    std::unique_ptr<State> inline_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    bool stop_ = false;
    std::deque<std::shared_ptr<Slot>> queue_;   // given, not started
    std::deque<std::shared_ptr<Slot>> pending_; // given, not taken, in order
    std::size_t pendingCost_ = 0;
    std::vector<std::thread> threads_;
};

} // namespace packsmith
