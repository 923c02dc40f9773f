#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

#include "concurrency/StopToken.h"

namespace packsmith {

// How a job shares its work out.
struct PipelineLimits {
    // Threads that process items beside the committing one; 0 processes each item on the
    // committing thread as it is given.
    unsigned Workers = 0;
    // Items given and not yet committed, at most; 0 for two per worker and two more.
    std::size_t MaxItems = 0;
    // Their declared cost (bytes they will hold), at most; an item that alone costs more is
    // given once nothing else is pending.
    std::size_t MaxCost = std::numeric_limits<std::size_t>::max();
};

// A worker's state when the work needs none.
struct NoWorkerState {};

// The one way a job shares its work over threads. The job gives items in order; each is
// processed on a worker (with a State of that worker's own, made on it), and each result is
// committed on the giving thread in the order given, so that names taken, files written and
// log lines never depend on timing. Memory stays bounded: while too many items or too much
// of their cost is pending, giving commits earlier results first.
//
// Stop and failure belong to the pipeline. A failure of an item, a commit or the producer
// ends the job where it stands in the order: what came before it is committed, nothing
// after it. A stop request ends it at once. Either way no more items are started, the
// running ones see the stop through their token and give up, every worker is joined, and
// only then does Run return or throw. Everything a step touches is made before Run is
// called, so it outlives every thread that can touch it.
template <class Item, class Result, class State = NoWorkerState>
class Pipeline {
public:
    struct Steps {
        // Makes a worker's state, on that worker; none makes a default State.
        std::function<std::unique_ptr<State>()> MakeState;
        // Turns an item into its result, on a worker. Long work looks at the token and
        // leaves with JobStopped when it stops.
        std::function<Result(State&, Item&, const StopToken&)> Process;
        // Takes a result, on the committing thread, in the order the items were given.
        std::function<void(Result&)> Commit;
    };

    // Calls produce on this thread, which gives the items; returns once every item given
    // is committed. Throws the job's first failure in the order, or JobStopped.
    static void Run(const PipelineLimits& limits, const StopToken& stop, const Steps& steps,
                    const std::function<void(Pipeline&)>& produce)
    {
        Pipeline pipeline(limits, stop, steps);
        std::exception_ptr failure;
        try {
            produce(pipeline);
            pipeline.CommitAll();
        } catch (const JobStopped&) {
            failure = std::current_exception();
        } catch (...) {
            failure = std::current_exception();
            // The producer failed at this point of the order: what it gave before is
            // committed first, and a failure among that is the earlier one.
            if (!pipeline.broken_) {
                try {
                    pipeline.CommitAll();
                } catch (...) {
                    failure = std::current_exception();
                }
            }
        }
        pipeline.Shutdown();
        if (failure)
            std::rethrow_exception(failure);
    }

    // Gives the next item, first committing earlier results while there is no room for it.
    void Give(Item item, std::size_t cost = 0)
    {
        stop_.ThrowIfStopped();
        if (threads_.empty()) {
            if (!inline_)
                inline_ = MakeState();
            Result result = steps_.Process(*inline_, item, itemStop_);
            // An item that gave up early at a stop is not whole.
            stop_.ThrowIfStopped();
            Commit(result);
            return;
        }
        while (!HasRoom(cost))
            CommitOldest();
        auto slot = std::make_shared<Slot>();
        slot->Work.emplace(std::move(item));
        slot->Cost = cost;
        {
            const std::lock_guard lock(mutex_);
            pending_.push_back(slot);
            try {
                queue_.push_back(std::move(slot));
            } catch (...) {
                pending_.pop_back(); // pending, it would be waited for for ever
                throw;
            }
            pendingCost_ += cost;
        }
        wake_.notify_one();
    }

    // Commits every result given so far.
    void CommitAll()
    {
        while (!threads_.empty() && Pending())
            CommitOldest();
    }

    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;
    ~Pipeline() { Shutdown(); }

private:
    // How often a committing thread that waits for a result looks at the stop request,
    // which a signal handler may raise without waking anyone.
    static constexpr std::chrono::milliseconds kStopPoll{10};

    struct Slot {
        std::optional<Item> Work;
        std::size_t Cost = 0;
        std::optional<Result> Value;
        std::exception_ptr Failure;
        bool Done = false;
    };

    Pipeline(const PipelineLimits& limits, const StopToken& stop, const Steps& steps)
        : steps_(steps), stop_(stop), itemStop_(stop, abandon_),
          maxItems_(limits.MaxItems != 0 ? limits.MaxItems : std::size_t{2} * limits.Workers + 2),
          maxCost_(limits.MaxCost)
    {
        try {
            for (unsigned i = 0; i < limits.Workers; ++i)
                threads_.emplace_back([this] { Work(); });
        } catch (...) {
            Shutdown();
            throw;
        }
    }

    std::unique_ptr<State> MakeState() const
    {
        if (steps_.MakeState)
            return steps_.MakeState();
        if constexpr (std::is_default_constructible_v<State>)
            return std::make_unique<State>();
        else
            throw std::logic_error("a worker state that cannot be made by default needs MakeState");
    }

    bool Pending() const
    {
        const std::lock_guard lock(mutex_);
        return !pending_.empty();
    }
    bool HasRoom(std::size_t cost) const
    {
        const std::lock_guard lock(mutex_);
        return pending_.empty() || (pending_.size() < maxItems_ && pendingCost_ <= maxCost_ && cost <= maxCost_ - pendingCost_);
    }

    // Waits for the oldest result, looking at the stop request meanwhile, and commits it.
    void CommitOldest()
    {
        std::shared_ptr<Slot> slot;
        {
            std::unique_lock lock(mutex_);
            while (!done_.wait_for(lock, kStopPoll, [&] { return pending_.front()->Done; }))
                if (stop_.StopRequested())
                    break;
            stop_.ThrowIfStopped();
            slot = std::move(pending_.front());
            pending_.pop_front();
            pendingCost_ -= slot->Cost;
        }
        if (slot->Failure) {
            broken_ = true;
            std::rethrow_exception(slot->Failure);
        }
        Commit(*slot->Value);
    }

    void Commit(Result& result)
    {
        try {
            steps_.Commit(result);
        } catch (...) {
            broken_ = true;
            throw;
        }
    }

    // Starts nothing more, lets the running items see the stop, and joins every worker.
    void Shutdown()
    {
        {
            const std::lock_guard lock(mutex_);
            abandon_.store(true, std::memory_order_relaxed);
        }
        wake_.notify_all();
        for (std::thread& thread : threads_)
            if (thread.joinable())
                thread.join();
    }

    void Work()
    {
        std::unique_ptr<State> state;
        std::exception_ptr stateFailure;
        try {
            state = MakeState();
        } catch (...) {
            stateFailure = std::current_exception();
        }
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return abandon_.load(std::memory_order_relaxed) || !queue_.empty(); });
            if (abandon_.load(std::memory_order_relaxed))
                return;
            std::shared_ptr<Slot> slot = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            if (!state) {
                slot->Failure = stateFailure;
            } else {
                try {
                    slot->Value.emplace(steps_.Process(*state, *slot->Work, itemStop_));
                } catch (...) {
                    slot->Failure = std::current_exception();
                }
            }
            slot->Work.reset();
            lock.lock();
            slot->Done = true;
            done_.notify_all();
        }
    }

    const Steps& steps_;
    const StopToken stop_;
    std::atomic<bool> abandon_{false};
    const StopToken itemStop_;
    const std::size_t maxItems_;
    const std::size_t maxCost_;
    std::unique_ptr<State> inline_;
    bool broken_ = false; // a failure was raised from inside: nothing more is committed

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Slot>> queue_;   // given, not started
    std::deque<std::shared_ptr<Slot>> pending_; // given, not committed, in order
    std::size_t pendingCost_ = 0;
    std::vector<std::thread> threads_; // last: they start once everything else is there
};

} // namespace packsmith
