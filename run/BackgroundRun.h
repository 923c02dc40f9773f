#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "run/Run.h"
#include "run/RunReports.h"

namespace packsmith {

// A run on a worker thread of its own, so that the window thread only draws and answers
// input while the jobs work. What the run reports waits in RunReports until the window
// thread takes it; changed tells the window that there is something to take (it is called
// on the worker thread).
class BackgroundRun {
public:
    // configure, when given, sets the run up (a selection, the tests' handler) before it starts.
    BackgroundRun(const Format& format, std::vector<std::string> jobs, std::string targetDirectory,
                  std::function<void()> changed, const std::function<void(Run&)>& configure = {});
    // Stops the run and waits for it: a window that goes never leaves a run behind.
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    void RequestStop() { reports_.RequestStop(); }
    RunReports::Pending TakeReports() { return reports_.Take(); }
    bool Finished() const;
    // Waits until the run has ended, at most timeout; true when it has.
    bool Wait(std::chrono::milliseconds timeout) const;
    // How the run ended; call once Finished().
    RunResult Result();
    const Run& TheRun() const { return run_; }

private:
    RunReports reports_;
    Run run_;
    RunResult result_;
    mutable std::mutex mutex_;
    mutable std::condition_variable ended_;
    bool finished_ = false;
    std::thread worker_;
};

} // namespace packsmith
