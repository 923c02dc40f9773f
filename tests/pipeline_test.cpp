// The job pipeline with made-up items: results committed in the order given whatever the
// timing, memory held within its bounds, a failure ending the job where it stands in the
// order, a stop ending it at once, and nothing a step touches used after Run is over.
// Built once more under ThreadSanitizer by test.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "concurrency/Pipeline.h"
#include "concurrency/StopToken.h"

namespace packsmith::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using Indices = std::vector<std::size_t>;

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
// How long an item that only ends on a stop waits for one before the test calls it lost.
constexpr auto kStopNeverCame = std::chrono::seconds(2);

// What every step touches. Each run makes it on the heap and frees it the moment Run has
// returned or thrown, so that a worker, a state or an item outliving Run touches freed
// memory, which both sanitizer builds report.
struct Shared {
    explicit Shared(std::size_t items) : processed(items) {}
    std::atomic<int> running{0}; // items inside Process
    std::atomic<int> statesMade{0};
    std::atomic<int> statesGone{0};
    std::atomic<int> faults{0}; // checks made on a worker that failed
    std::atomic<int> ranOut{0}; // items whose stop never came
    std::atomic<long> touches{0};
    std::vector<std::atomic<int>> processed; // per item, how often
};

struct WorkerState {
    WorkerState() = default;
    explicit WorkerState(Shared& shared) : Owner(&shared) { shared.statesMade.fetch_add(1); }
    WorkerState(const WorkerState&) = delete;
    WorkerState& operator=(const WorkerState&) = delete;
    // Destroyed on its worker as that worker ends: counted, and touching what Run's caller frees.
    ~WorkerState()
    {
        if (Owner)
            Owner->statesGone.fetch_add(1);
    }
    Shared* Owner = nullptr;
    std::thread::id Thread = std::this_thread::get_id();
};

struct Item {
    std::size_t Index = 0;
    std::unique_ptr<std::size_t> Payload; // only moved: the item must arrive whole
    microseconds Work{0};
    bool Long = false; // runs until it sees a stop
};

struct Result {
    std::size_t Index = 0;
    std::size_t Value = 0;
    bool CutShort = false; // gave up on seeing the stop and returned what it had
};

using TestPipeline = Pipeline<Item, Result, WorkerState>;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A job made up for one run.
struct Plan {
    unsigned Workers = 0;
    std::size_t MaxItems = 0;
    std::size_t MaxCost = std::numeric_limits<std::size_t>::max();
    std::size_t Items = 0;
    microseconds MaxWork{100};           // each item works a random time up to this
    unsigned LongOneIn = 0;              // 1 in this many items works until stopped
    std::size_t LongFrom = kNone;        // and every item from here on
    std::function<std::size_t(std::size_t)> Cost; // declared per item; none costs nothing
    std::size_t ItemFails = kNone;       // this item's Process throws
    std::size_t CommitFails = kNone;     // this item's Commit throws
    bool ProducerFails = false;          // after giving every item
    int FailingStates = 0;               // the first this many MakeState calls throw; -1 all
    bool LeaveByReturning = false;       // how an item that sees the stop leaves
    std::optional<microseconds> StopAfter; // from the start of Run
    bool StopOnLongItem = false;         // as soon as a long item has started
    unsigned Seed = 1;
};

struct Report {
    std::string Outcome;
    Indices Committed;
    Indices CommitsTried;
    bool CommittedCutShort = false;
    std::string BoundBroken; // the first time the items or cost pending went past the bounds
    std::vector<int> Processed;
    int RunningAfter = 0;
    int StatesMade = 0;
    int StatesGone = 0;
    int Faults = 0;
    int RanOut = 0;
    std::optional<Clock::duration> StopToReturn;
};

// Works for about `length` the way a long loop does, looking at the token between short
// slices; false if it saw the stop first. Sleeps rather than spins so that eight workers
// on two cores still all get to run.
bool Busy(Clock::duration length, const StopToken& token, Shared& shared)
{
    const auto end = Clock::now() + length;
    for (;;) {
        if (token.StopRequested())
            return false;
        const auto now = Clock::now();
        if (now >= end)
            return true;
        shared.touches.fetch_add(1, std::memory_order_relaxed);
        std::this_thread::sleep_for(std::min<Clock::duration>(end - now, microseconds(50)));
    }
}

std::string Outcome(const std::function<void()>& run)
{
    try {
        run();
        return "completed";
    } catch (const JobStopped&) {
        return "stopped";
    } catch (const Failure& e) {
        return std::string("failure: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("other: ") + e.what();
    }
}

std::size_t SaturatingAdd(std::size_t a, std::size_t b)
{
    return a > std::numeric_limits<std::size_t>::max() - b ? std::numeric_limits<std::size_t>::max() : a + b;
}

Report RunPlan(const Plan& plan)
{
    auto shared = std::make_unique<Shared>(plan.Items);
    Shared* const s = shared.get();
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> stopFlag{false};
    const StopToken stop(stopFlag);
    std::atomic<int> statesAsked{0};
    std::atomic<bool> longStarted{false};
    Report report;

    TestPipeline::Steps steps;
    steps.MakeState = [&, s] {
        if (plan.FailingStates < 0 || statesAsked.fetch_add(1) < plan.FailingStates)
            throw Failure("state");
        if (plan.Workers > 0 && std::this_thread::get_id() == caller)
            s->faults.fetch_add(1);
        return std::make_unique<WorkerState>(*s);
    };
    steps.Process = [&, s](WorkerState& state, Item& item, const StopToken& token) {
        s->running.fetch_add(1);
        struct Leaving {
            Shared* S;
            ~Leaving() { S->running.fetch_sub(1); }
        } leaving{s};
        // Each worker works with the state it made itself.
        if (state.Thread != std::this_thread::get_id() || state.Owner != s)
            s->faults.fetch_add(1);
        s->processed.at(item.Index).fetch_add(1);
        bool finished;
        if (item.Long) {
            longStarted.store(true);
            finished = Busy(kStopNeverCame, token, *s);
            if (finished)
                s->ranOut.fetch_add(1);
        } else {
            finished = Busy(item.Work, token, *s);
        }
        if (!finished) {
            // Winding down takes a moment and still uses what the job gave it.
            std::this_thread::sleep_for(microseconds(200));
            s->touches.fetch_add(1);
            if (!plan.LeaveByReturning)
                throw JobStopped();
        }
        if (item.Index == plan.ItemFails)
            throw Failure("item " + std::to_string(item.Index));
        return Result{item.Index, *item.Payload * 2 + 1, !finished};
    };
    steps.Commit = [&, s](Result& result) {
        if (std::this_thread::get_id() != caller)
            s->faults.fetch_add(1);
        report.CommitsTried.push_back(result.Index);
        if (result.Index == plan.CommitFails)
            throw Failure("commit " + std::to_string(result.Index));
        if (result.Value != result.Index * 2 + 1)
            s->faults.fetch_add(1);
        report.CommittedCutShort |= result.CutShort;
        report.Committed.push_back(result.Index);
        s->touches.fetch_add(1);
    };

    const std::size_t maxItems = plan.MaxItems != 0 ? plan.MaxItems : 2 * std::size_t{plan.Workers} + 2;
    std::vector<std::size_t> costs;
    std::mt19937 random(plan.Seed);
    const auto produce = [&](TestPipeline& pipeline) {
        for (std::size_t i = 0; i < plan.Items; ++i) {
            Item item{i, std::make_unique<std::size_t>(i), microseconds(random() % (plan.MaxWork.count() + 1)),
                      i >= plan.LongFrom || (plan.LongOneIn != 0 && random() % plan.LongOneIn == 0)};
            costs.push_back(plan.Cost ? plan.Cost(i) : 0);
            pipeline.Give(std::move(item), costs.back());
            // Commits happen on this thread, so what is given and not yet committed is
            // known exactly here, at its largest: right after an item went in.
            const std::size_t pending = i + 1 - report.Committed.size();
            std::size_t cost = 0;
            for (std::size_t k = report.Committed.size(); k <= i; ++k)
                cost = SaturatingAdd(cost, costs[k]);
            if (report.BoundBroken.empty() && (pending > maxItems || (cost > plan.MaxCost && pending > 1)))
                report.BoundBroken = "after item " + std::to_string(i) + ": " + std::to_string(pending) +
                                     " items pending, costing " + std::to_string(cost);
        }
        if (plan.ProducerFails)
            throw Failure("producer");
    };

    std::atomic<bool> runOver{false};
    Clock::time_point raisedAt{};
    std::thread stopper;
    const auto started = Clock::now();
    if (plan.StopAfter || plan.StopOnLongItem) {
        stopper = std::thread([&] {
            if (plan.StopAfter)
                std::this_thread::sleep_until(started + *plan.StopAfter);
            while (plan.StopOnLongItem && !longStarted.load() && !runOver.load())
                std::this_thread::sleep_for(microseconds(20));
            if (runOver.load())
                return;
            raisedAt = Clock::now();
            stopFlag.store(true);
        });
    }

    const PipelineLimits limits{plan.Workers, plan.MaxItems, plan.MaxCost};
    report.Outcome = Outcome([&] { TestPipeline::Run(limits, stop, steps, produce); });
    const auto returned = Clock::now();
    report.RunningAfter = s->running.load();
    report.StatesMade = s->statesMade.load();
    report.StatesGone = s->statesGone.load();
    report.Faults = s->faults.load();
    report.RanOut = s->ranOut.load();
    for (const auto& count : s->processed)
        report.Processed.push_back(count.load());
    shared.reset(); // Run is over: anything still using this now is a finding

    runOver.store(true);
    if (stopper.joinable()) {
        stopper.join();
        if (stopFlag.load() && returned >= raisedAt)
            report.StopToReturn = returned - raisedAt;
    }
    return report;
}

Indices Iota(std::size_t count)
{
    Indices indices(count);
    std::iota(indices.begin(), indices.end(), std::size_t{0});
    return indices;
}

bool IsPrefix(const Indices& committed, std::size_t below)
{
    return committed.size() <= below && committed == Iota(committed.size());
}

// What holds however a run ends.
void ExpectNothingLeftRunning(const Report& report, unsigned workers)
{
    EXPECT_EQ(report.RunningAfter, 0) << "Process still running when Run returned";
    EXPECT_EQ(report.StatesMade, report.StatesGone) << "a worker's state outlived Run";
    EXPECT_LE(report.StatesMade, static_cast<int>(std::max(workers, 1u))) << "a state per worker at most";
    EXPECT_EQ(report.Faults, 0) << "a state on the wrong thread, a commit off the calling thread or a wrong result";
    EXPECT_EQ(report.RanOut, 0) << "a running item never saw the job end";
}

TEST(PipelineTest, CommitsEveryItemOnceInTheOrderGivenWhateverTheTiming)
{
    struct Row {
        unsigned Workers;
        std::size_t MaxItems;
        std::size_t Items;
        microseconds MaxWork;
    };
    for (const Row& row : {
             Row{0, 0, 200, microseconds(100)},
             Row{1, 0, 200, microseconds(100)},
             Row{2, 0, 300, microseconds(100)},
             Row{4, 0, 300, microseconds(200)},
             Row{4, 3, 300, microseconds(100)}, // fewer pending than workers
             Row{8, 0, 400, microseconds(300)},
             Row{8, 1, 60, microseconds(100)},
             Row{4, 0, 0, microseconds(0)}, // nothing given
         }) {
        SCOPED_TRACE(testing::Message() << row.Workers << " workers, at most " << row.MaxItems << " items pending, "
                                        << row.Items << " items");
        Plan plan;
        plan.Workers = row.Workers;
        plan.MaxItems = row.MaxItems;
        plan.Items = row.Items;
        plan.MaxWork = row.MaxWork;
        plan.Seed = row.Workers * 100 + static_cast<unsigned>(row.Items);
        const Report report = RunPlan(plan);
        EXPECT_EQ(report.Outcome, "completed");
        EXPECT_EQ(report.Committed, Iota(row.Items));
        EXPECT_EQ(report.Processed, std::vector<int>(row.Items, 1)) << "each item processed exactly once";
        EXPECT_EQ(report.BoundBroken, "");
        ExpectNothingLeftRunning(report, row.Workers);
        if (row.Workers > 0) {
            EXPECT_EQ(report.StatesMade, static_cast<int>(row.Workers));
        }
    }
}

TEST(PipelineTest, ItemsAndCostPendingStayWithinTheBounds)
{
    constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
    struct Row {
        const char* Name;
        unsigned Workers;
        std::size_t MaxItems;
        std::size_t MaxCost;
        std::function<std::size_t(std::size_t)> Cost;
    };
    for (const Row& row : {
             Row{"items only", 4, 3, kMax, [](std::size_t i) { return i * 1000; }},
             Row{"one at a time", 8, 1, kMax, nullptr},
             Row{"default item bound", 4, 0, 1000, [](std::size_t i) { return i % 5 * 90; }},
             // Every 17th item alone costs more than the bound: it goes through alone.
             Row{"cost, some items over it", 2, 50, 100, [](std::size_t i) { return i % 17 == 5 ? 500 : i % 7 * 9; }},
             Row{"cost, many workers", 8, 0, 300, [](std::size_t i) { return i % 17 == 0 ? 301 : i % 11 * 13; }},
             Row{"inline", 0, 2, 100, [](std::size_t i) { return i % 3 * 60; }},
             // An item declaring the largest cost there is must run alone all the same.
             Row{"largest cost", 4, 16, 1000, [](std::size_t i) { return i == 3 ? kMax : 1; }},
         }) {
        SCOPED_TRACE(row.Name);
        Plan plan;
        plan.Workers = row.Workers;
        plan.MaxItems = row.MaxItems;
        plan.MaxCost = row.MaxCost;
        plan.Cost = row.Cost;
        plan.Items = 120;
        plan.MaxWork = microseconds(150);
        plan.Seed = row.Workers + 7;
        const Report report = RunPlan(plan);
        EXPECT_EQ(report.Outcome, "completed");
        EXPECT_EQ(report.BoundBroken, "");
        EXPECT_EQ(report.Committed, Iota(plan.Items));
        ExpectNothingLeftRunning(report, row.Workers);
    }
}

TEST(PipelineTest, AFailureEndsTheJobWhereItStandsInTheOrder)
{
    struct Row {
        const char* Name;
        std::size_t Items;
        std::size_t ItemFails = kNone;
        std::size_t CommitFails = kNone;
        bool ProducerFails = false;
        int FailingStates = 0;
        std::string Expected;
    };
    for (const unsigned workers : {0u, 1u, 4u, 8u}) {
        for (const Row& row : {
                 Row{"first item fails", 40, 0, kNone, false, 0, "failure: item 0"},
                 Row{"item in the middle fails", 60, 23, kNone, false, 0, "failure: item 23"},
                 Row{"last item fails", 30, 29, kNone, false, 0, "failure: item 29"},
                 Row{"commit in the middle fails", 60, kNone, 31, false, 0, "failure: commit 31"},
                 Row{"producer fails after giving", 25, kNone, kNone, true, 0, "failure: producer"},
                 Row{"producer fails after an item it gave failed", 25, 9, kNone, true, 0, "failure: item 9"},
                 Row{"no state can be made", 20, kNone, kNone, false, -1, "failure: state"},
                 Row{"one state cannot be made", 40, kNone, kNone, false, 1, "failure: state"},
             }) {
            SCOPED_TRACE(testing::Message() << row.Name << ", " << workers << " workers");
            Plan plan;
            plan.Workers = workers;
            plan.Items = row.Items;
            plan.MaxWork = microseconds(200);
            plan.ItemFails = row.ItemFails;
            plan.CommitFails = row.CommitFails;
            plan.ProducerFails = row.ProducerFails;
            plan.FailingStates = row.FailingStates;
            // Room for everything, so that the producer's failure comes before any commit.
            if (row.ProducerFails)
                plan.MaxItems = row.Items + 1;
            plan.Seed = workers * 31 + static_cast<unsigned>(row.Items);
            const Report report = RunPlan(plan);
            ExpectNothingLeftRunning(report, workers);

            if (row.FailingStates == 1 && workers > 1) {
                // The other workers may have done every item before the failed one took any:
                // then the job is whole. Otherwise the failure lands where that worker's first
                // item stands, and nothing from there on is committed.
                if (report.Outcome == "completed")
                    EXPECT_EQ(report.Committed, Iota(row.Items));
                else
                    EXPECT_EQ(report.Outcome, row.Expected);
                EXPECT_TRUE(IsPrefix(report.Committed, row.Items));
                continue;
            }
            EXPECT_EQ(report.Outcome, row.Expected);
            std::size_t before = row.Items;
            if (row.ItemFails != kNone)
                before = row.ItemFails;
            else if (row.CommitFails != kNone)
                before = row.CommitFails;
            else if (row.FailingStates != 0)
                before = 0;
            EXPECT_EQ(report.Committed, Iota(before));
            if (row.CommitFails != kNone) {
                EXPECT_EQ(report.CommitsTried, Iota(row.CommitFails + 1)) << "no commit after the one that failed";
            }
        }
    }
}

// However the job ends, the items still running learn of it through their token, every
// worker and its state is gone, and what the steps touch may be freed as Run returns.
TEST(PipelineTest, HoweverTheJobEndsRunningItemsSeeItAndNothingOutlivesRun)
{
    struct Row {
        const char* Name;
        std::size_t Items;
        std::size_t LongFrom = kNone;
        std::size_t ItemFails = kNone;
        std::size_t CommitFails = kNone;
        bool ProducerFails = false;
        int FailingStates = 0;
        bool Stop = false;
        std::string Expected;
        std::size_t CommittedBefore; // all of these, or for a stop at most these
    };
    for (const unsigned workers : {0u, 1u, 4u}) {
        for (const bool leaveByReturning : {false, true}) {
            for (const Row& row : {
                     Row{"completes", 12, kNone, kNone, kNone, false, 0, false, "completed", 12},
                     Row{"item fails", 8, 6, 5, kNone, false, 0, false, "failure: item 5", 5},
                     Row{"commit fails", 8, 6, kNone, 5, false, 0, false, "failure: commit 5", 5},
                     Row{"producer fails", 6, kNone, kNone, kNone, true, 0, false, "failure: producer", 6},
                     Row{"no state", 6, kNone, kNone, kNone, false, -1, false, "failure: state", 0},
                     Row{"stopped", 8, 5, kNone, kNone, false, 0, true, "stopped", 5},
                     Row{"stopped in the last item", 6, 5, kNone, kNone, false, 0, true, "stopped", 5},
                 }) {
                SCOPED_TRACE(testing::Message() << row.Name << ", " << workers << " workers, items leave by "
                                                << (leaveByReturning ? "returning" : "throwing"));
                Plan plan;
                plan.Workers = workers;
                plan.Items = row.Items;
                plan.MaxWork = microseconds(100);
                plan.LongFrom = row.LongFrom;
                plan.ItemFails = row.ItemFails;
                plan.CommitFails = row.CommitFails;
                plan.ProducerFails = row.ProducerFails;
                plan.FailingStates = row.FailingStates;
                plan.StopOnLongItem = row.Stop;
                plan.LeaveByReturning = leaveByReturning;
                const Report report = RunPlan(plan);
                EXPECT_EQ(report.Outcome, row.Expected);
                if (row.Stop)
                    EXPECT_TRUE(IsPrefix(report.Committed, row.CommittedBefore));
                else
                    EXPECT_EQ(report.Committed, Iota(row.CommittedBefore));
                EXPECT_FALSE(report.CommittedCutShort) << "a result cut short by the stop was committed";
                ExpectNothingLeftRunning(report, workers);
            }
        }
    }
}

// A stop raised at a random moment while every worker is busy: Run throws JobStopped soon
// after, with nothing left running. The one time asserted is generous for a loaded
// two-core machine under ThreadSanitizer; the figures measured are printed.
TEST(PipelineTest, AStopAtAnyMomentEndsTheRunAtOnce)
{
    constexpr int kIterations = 20;
    std::mt19937 random(2024);
    Clock::duration worst{};
    for (const unsigned workers : {0u, 1u, 2u, 4u, 8u}) {
        for (const bool leaveByReturning : {false, true}) {
            SCOPED_TRACE(testing::Message() << workers << " workers, items leave by "
                                            << (leaveByReturning ? "returning" : "throwing"));
            std::vector<Clock::duration> times;
            int notStopped = 0;
            int cutShortCommitted = 0;
            for (int iteration = 0; iteration < kIterations; ++iteration) {
                Plan plan;
                plan.Workers = workers;
                plan.Items = 5000; // far more than get done before the stop
                plan.MaxWork = microseconds(3000);
                plan.LongOneIn = 8;
                plan.LeaveByReturning = leaveByReturning;
                plan.StopAfter = microseconds(random() % 8000);
                plan.Seed = static_cast<unsigned>(random());
                const Report report = RunPlan(plan);
                notStopped += report.Outcome != "stopped";
                cutShortCommitted += report.CommittedCutShort;
                EXPECT_TRUE(IsPrefix(report.Committed, plan.Items));
                EXPECT_TRUE(report.StopToReturn.has_value());
                if (report.StopToReturn)
                    times.push_back(*report.StopToReturn);
                ExpectNothingLeftRunning(report, workers);
            }
            EXPECT_EQ(notStopped, 0) << "runs that did not end with JobStopped";
            EXPECT_EQ(cutShortCommitted, 0) << "runs that committed a result cut short by the stop";
            if (times.empty())
                continue;
            std::sort(times.begin(), times.end());
            const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
            std::cout << "stop to return, " << workers << " workers, items leave by "
                      << (leaveByReturning ? "returning" : "throwing") << ": median " << ms(times[times.size() / 2])
                      << " ms, worst " << ms(times.back()) << " ms\n";
            EXPECT_LT(times.back(), std::chrono::seconds(1));
            worst = std::max(worst, times.back());
        }
    }
    std::cout << "stop to return, worst of all: " << std::chrono::duration<double, std::milli>(worst).count()
              << " ms\n";
}

} // namespace
} // namespace packsmith::test
